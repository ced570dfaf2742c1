#include "cli/program/keep_going.h"

#include <array>
#include <string_view>

#include "automation/conversions.h"
#include "automation/runtime_error.h"
#include "automation/utf8.h"
#include "automation/variant.h"
#include "inspector/ravoduze.h"

namespace dudUdudADOD::cli {

using automation::Address;

namespace {

constexpr std::u16string_view kCrLf = u"\r\n";

struct Section {
  int32_t flag;
  std::u16string_view heading;
  // Whether the section starts with a line break, for a scalar and for an
  // array: all do but the variant argument, which opens the report, and a
  // scalar's variable section.
  bool break_before_scalar;
  bool break_before_array;
  bool blank_after;  // a blank line follows the section's last line
};

constexpr std::array<Section, 4> kSections = {{
    {varARG, u"/// VARIANT_ARG STRUCTURE ///", false, false, true},
    {varDef, u"/// VARIABLE ///", false, true, true},
    {varSA_Stru, u"/// SAFEARRAY STRUCTURE ///", true, true, true},
    {varValues, u"/// VALUES ///", true, true, false},
}};

// Whether the argument holds an array; an argument that cannot be read is
// taken for a scalar (every section then fails alike).
bool HoldsArray(const automation::Process& process, Address argument) {
  try {
    const automation::AddressSpace& memory = process.memory();
    return (automation::VarType(memory, automation::LoadVariant(memory, argument)) &
            automation::vbArray) != 0;
  } catch (const RuntimeError&) {
    return false;
  }
}

std::u16string ErrorText(const RuntimeError& e) {
  return u"Run-time error '" + automation::FromUtf8(std::to_string(e.number())) + u"': " +
         automation::FromUtf8(e.description());
}

// The line that stands for a failed section, framed as the section is.
std::u16string FailedSection(const Section& section, bool array, const RuntimeError& e) {
  std::u16string text;
  if (array ? section.break_before_array : section.break_before_scalar) text += kCrLf;
  // A scalar's values section is headed VALUE, as the report heads it.
  text += section.flag == varValues && !array ? u"/// VALUE ///" : section.heading;
  text += u" " + ErrorText(e) + std::u16string(kCrLf);
  if (section.blank_after) text += kCrLf;
  return text;
}

// One call of the main call; false when it raised, with the error in `sink`.
bool AskFor(automation::Process& process, Address argument, const Options& options, int32_t flags,
            SectionSink& sink, std::optional<RuntimeError>& error) {
  try {
    RavoDUZE inspector(process);
    inspector.Report([&sink](std::u16string& text) { sink.Take(text); }, argument, options.debug,
                     flags, options.vat_flags, options.sep);
    return true;
  } catch (const RuntimeError& e) {
    sink.Drop();
    error = e;
    return false;
  }
}

}  // namespace

std::vector<SectionFailure> ReportBySection(automation::Process& process, Address argument,
                                            const Options& options, SectionSink& sink) {
  const int32_t flags = options.var_flags.value_or(varALLINFO);
  const bool array = HoldsArray(process, argument);
  std::vector<SectionFailure> failures;
  std::optional<RuntimeError> error;
  bool any = false;
  for (const Section& section : kSections) {
    // A scalar has no descriptor: the whole report holds no such section.
    if ((flags & section.flag) == 0 || (section.flag == varSA_Stru && !array)) continue;
    any = true;
    // The bounds are a part of the descriptor section, printed only with it.
    const int32_t alone =
        section.flag == varSA_Stru ? flags & (varSA_Stru | varSA_Bounds) : section.flag;
    if (!AskFor(process, argument, options, alone, sink, error)) {
      std::u16string line = FailedSection(section, array, *error);
      sink.Take(line);
      failures.push_back({section.flag, error->number()});
    }
    sink.End();
  }
  if (!any && !AskFor(process, argument, options, flags, sink, error)) {
    std::u16string line = ErrorText(*error) + std::u16string(kCrLf);
    sink.Take(line);
    failures.push_back({0, error->number()});
  }
  if (!any) sink.End();
  return failures;
}

}  // namespace dudUdudADOD::cli
