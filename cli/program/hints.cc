#include "cli/program/hints.h"

#include <array>
#include <vector>

#include "automation/conversions.h"
#include "automation/runtime_error.h"
#include "automation/utf8.h"
#include "automation/variant.h"
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

}  // namespace

std::string FailureHint(automation::Process& process, Address argument, const Options& options,
                        std::string_view prefix) {
  const int32_t flags = options.var_flags.value_or(varALLINFO);
  const int32_t vat_flags = options.vat_flags.value_or(vatALLINFO);
  const std::string start = "ravoduze: hint: ";
  if (Fails(process, argument, options, varNOTHING, vat_flags)) {
    return start + "the error comes before any section, from " +
           (IsArray(process, argument) ? "the snapshot of the array descriptor"
                                       : "the data size of the value") +
           ", which every report takes\n";
  }
  std::vector<std::string_view> names;
  const int32_t failing = FailingSections(process, argument, options, flags, vat_flags, names);
  if (failing == 0) return "";
  std::string hint = start + "the error comes from ";
  for (size_t i = 0; i < names.size(); ++i) {
    hint += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + std::string(names[i]);
  }
  if (failing == varValues) hint += CharAsciiWay(process, argument, options, vat_flags, prefix);
  const int32_t rest = flags & ~failing & varALLINFO;
  if (rest != 0 && !Fails(process, argument, options, rest, vat_flags)) {
    hint += "; " + std::string(prefix) + "var-flags " + std::to_string(rest) +
            (names.size() == 1 ? " leaves it out" : " leaves them out") + " and prints the rest";
  }
  return hint + "\n";
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
