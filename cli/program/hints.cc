#include "cli/program/hints.h"

#include <array>
#include <vector>

#include "automation/conversions.h"
#include "automation/runtime_error.h"
#include "automation/utf8.h"
#include "automation/variant.h"
#include "cli/output/explain.h"
#include "inspector/ravoduze.h"
#include "model/variant_conversions.h"

namespace dudUdudADOD::cli {

using automation::Address;

namespace {

struct Section {
  int32_t flag;
  std::string_view name;
};

constexpr std::array<Section, 5> kSections = {{
    {varARG, "the variant argument section (varARG)"},
    {varDef, "the variable section (varDef)"},
    {varSA_Stru, "the array descriptor section (varSA_Stru)"},
    {varSA_Bounds, "the bounds of the array descriptor section (varSA_Bounds)"},
    {varValues, "the values section (varValues)"},
}};

// Whether the main call with these flags raises; the text is dropped.
bool Fails(automation::Process& process, Address argument, const Options& options,
           int32_t var_flags, int32_t vat_flags) {
  try {
    RavoDUZE inspector(process);
    inspector.Report([](std::u16string& text) { text.clear(); }, argument, options.debug, var_flags,
                     vat_flags, options.sep);
    return false;
  } catch (const RuntimeError&) {
    return true;
  }
}

bool IsArray(const automation::Process& process, Address argument) {
  const automation::AddressSpace& memory = process.memory();
  return (automation::VarType(memory, automation::LoadVariant(memory, argument)) &
          automation::vbArray) != 0;
}

// The sections asked for that fail on their own, as flag bits, and their
// names joined for a sentence.
int32_t FailingSections(automation::Process& process, Address argument, const Options& options,
                        int32_t flags, int32_t vat_flags, std::vector<std::string_view>& names) {
  int32_t failing = 0;
  for (const Section& section : kSections) {
    // The bounds are a part of the descriptor section, printed only with it.
    const int32_t alone = section.flag == varSA_Bounds ? varSA_Stru | varSA_Bounds : section.flag;
    if ((flags & section.flag) == 0 || (section.flag == varSA_Bounds && (failing & varSA_Stru))) {
      continue;
    }
    if (!Fails(process, argument, options, alone, vat_flags)) continue;
    failing |= section.flag;
    names.push_back(section.name);
  }
  return failing;
}

// The values section fails only with vatCharASCII: a character code that
// cannot be one.
std::string CharAsciiWay(automation::Process& process, Address argument, const Options& options,
                         int32_t vat_flags, std::string_view prefix) {
  if ((vat_flags & vatCharASCII) == 0) return "";
  const int32_t without = vat_flags & ~vatCharASCII;
  if (Fails(process, argument, options, varValues, without)) return "";
  return "; it comes from vatCharASCII, which takes every element for a character code: " +
         std::string(prefix) + "vat-flags " + std::to_string(without) + " prints the numbers";
}

// Whether the main call with these flags prints something: succeeds with
// a text that is not empty (a scalar's descriptor sections print nothing).
bool Prints(automation::Process& process, Address argument, const Options& options,
            int32_t var_flags, int32_t vat_flags) {
  try {
    RavoDUZE inspector(process);
    bool any = false;
    inspector.Report(
        [&any](std::u16string& text) {
          any = any || !text.empty();
          text.clear();
        },
        argument, options.debug, var_flags, vat_flags, options.sep);
    return any;
  } catch (const RuntimeError&) {
    return false;
  }
}

// The sections of the report that flags ask for and that print something
// for this value: the descriptor's only for an array.
int SectionsAsked(int32_t flags, bool array) {
  int count = 0;
  for (const int32_t flag : {varARG, varDef, varSA_Stru, varValues}) {
    if ((flags & flag) != 0 && (flag != varSA_Stru || array)) ++count;
  }
  return count;
}

std::string KeepGoingWay(std::string_view prefix) {
  return std::string(prefix == ":" ? ":keep-going on" : "-k") +
         " prints every section that can be printed, and one line for each that fails";
}

// The argument variant's own bytes, which a failed variant argument section
// cannot show: the dump that shows them and the picture that draws them.
std::string MemoryWay(const automation::Process& process, Address argument,
                      std::string_view prefix) {
  const automation::AddressSpace& memory = process.memory();
  const uint32_t size = memory.layout().variant_size;
  std::string way = prefix == ":"
                        ? ":x " + std::to_string(argument) + " " + std::to_string(size)
                        : "--dump " + std::to_string(argument) + ":" + std::to_string(size);
  std::string word;
  try {
    const uint16_t vt = automation::ReadUInt16(memory, argument);
    word = " (its type word " + std::to_string(vt) + " = " + TypeWordText(vt) + ")";
  } catch (const RuntimeError&) {
  }
  return way + " shows the argument variant's " + std::to_string(size) + " bytes" + word +
         (prefix == ":" ? "" : "; --svg FILE draws the value's memory");
}

// A values section past what a report holds (error 14): the shortest text
// of each element is the fast way, when it fits.
std::string LongValuesWay(automation::Process& process, Address argument, const Options& options,
                          std::string_view prefix) {
  std::string hint = "the values' text passes the 1,073,741,823 characters a report holds";
  if (!Fails(process, argument, options, varValues, vatNOTHING)) {
    hint += "; " + std::string(prefix) +
            "vat-flags 0 prints each element's value alone (no labels, no characters), "
            "the shortest and fastest text";
  }
  return hint;
}

}  // namespace

std::string FailureHint(automation::Process& process, Address argument, const Options& options,
                        std::string_view prefix, int error) {
  const int32_t flags = options.var_flags.value_or(varALLINFO);
  const int32_t vat_flags = options.vat_flags.value_or(vatALLINFO);
  const std::string start = "ravoduze: hint: ";
  std::string hints;
  if (SectionsAsked(flags, IsArray(process, argument)) > 1) {
    hints = start + KeepGoingWay(prefix) + "\n";
  }
  if (Fails(process, argument, options, varNOTHING, vat_flags)) {
    return hints + start + "the error comes before any section, from " +
           (IsArray(process, argument) ? "the snapshot of the array descriptor"
                                       : "the data size of the value") +
           ", which every report takes\n" + start + MemoryWay(process, argument, prefix) + "\n";
  }
  const int32_t without_values = flags & ~varValues & varALLINFO;
  if (error == automation::kOutOfStringSpace && (flags & varValues) != 0 &&
      !Fails(process, argument, options, without_values, vat_flags)) {
    // Asking for the values again would take as long as the failed call.
    hints += start + LongValuesWay(process, argument, options, prefix);
    if (without_values != 0) {
      hints += "; " + std::string(prefix) + "var-flags " + std::to_string(without_values) +
               " leaves the values out";
    }
    return hints + "\n";
  }
  std::vector<std::string_view> names;
  const int32_t failing = FailingSections(process, argument, options, flags, vat_flags, names);
  if (failing == 0) return hints;
  hints += start + "the error comes from ";
  for (size_t i = 0; i < names.size(); ++i) {
    hints += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + std::string(names[i]);
  }
  if (failing == varValues) hints += CharAsciiWay(process, argument, options, vat_flags, prefix);
  int32_t rest = flags & ~failing & varALLINFO;
  // A scalar has no descriptor sections: their flags would print nothing.
  if (!IsArray(process, argument)) rest &= ~(varSA_Stru | varSA_Bounds);
  if (rest != 0 && Prints(process, argument, options, rest, vat_flags)) {
    hints += "; " + std::string(prefix) + "var-flags " + std::to_string(rest) +
             (names.size() == 1 ? " leaves it out" : " leaves them out") + " and prints the rest";
  }
  hints += "\n";
  if ((failing & varARG) != 0) hints += start + MemoryWay(process, argument, prefix) + "\n";
  return hints;
}

std::string KeepGoingHint(automation::Process& process, Address argument, const Options& options,
                          std::span<const SectionFailure> failures, std::string_view prefix) {
  std::string hints;
  for (const SectionFailure& failure : failures) {
    if (failure.flag == varARG || failure.flag == 0) {
      hints += "ravoduze: hint: " + MemoryWay(process, argument, prefix) + "\n";
    } else if (failure.flag == varValues && failure.number == automation::kOutOfStringSpace) {
      hints += "ravoduze: hint: " + LongValuesWay(process, argument, options, prefix) + "\n";
    }
  }
  return hints;
}

std::string CharAsciiNote(const automation::Process& process, Address argument,
                          const Options& options, std::string_view prefix) {
  const int32_t flags = options.var_flags.value_or(varALLINFO);
  const int32_t vat_flags = options.vat_flags.value_or(vatALLINFO);
  if ((flags & varValues) == 0 || (vat_flags & vatCharASCII) == 0) return "";
  const automation::AddressSpace& memory = process.memory();
  const automation::VariantImage value = automation::LoadVariant(memory, argument);
  const uint16_t type = automation::VarType(memory, value);
  const uint16_t element = type & automation::kBaseTypeMask;
  if ((type & automation::vbArray) == 0 || element == automation::vbByte || (element & 17) == 0) {
    return "";
  }
  const std::string name = automation::ToUtf8(automation::TypeName(process, value));
  return "ravoduze: note: vatCharASCII printed the elements of this " + name +
         " array as characters (a Byte array's switch applies to it too); " + std::string(prefix) +
         "vat-flags " + std::to_string(vat_flags & ~vatCharASCII) + " prints the numbers\n";
}

}  // namespace dudUdudADOD::cli
