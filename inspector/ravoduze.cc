#include "inspector/ravoduze.h"

#include <utility>

#include "automation/bstr.h"
#include "automation/checked_math.h"
#include "automation/conversions.h"
#include "automation/data_size.h"
#include "automation/safe_array_desc.h"
#include "automation/text_forms.h"
#include "automation/variant.h"
#include "inspector/about.h"
#include "inspector/decode_vat_flags.h"
#include "sections/safe_array_info.h"
#include "sections/values_info.h"
#include "sections/variable_info.h"
#include "sections/variant_arg_info.h"

namespace dudUdudADOD {

using namespace automation;  // the platform model is this file's vocabulary

namespace {

constexpr std::u16string_view kCrLf = u"\r\n";

// Appends a section's text: the report is one string, so it raises 14
// rather than grow past what a string holds. The first section moves in.
void AppendSection(std::u16string& report, std::u16string&& section) {
  CheckStringSpace(report.size(), section.size());
  if (report.empty()) {
    report = std::move(section);
  } else {
    report += section;
  }
}

// Appends the values section with the five switches; the section may change
// CharASCII and OrdinalPos, which the main call does not read afterwards.
void AppendValues(std::u16string& report, ClientProcess& process, Address var,
                  std::u16string_view sep, inspector::Switches s, sections::ReportOutput* sink) {
  sections::AppendValuesInfo(report, process, var, sep, s, sink);
}

// The array path: one snapshot whatever the flags, then the definition, the
// descriptor and the values header with the values, as flagged.
void ArrayReport(std::u16string& report, ClientProcess& process, Address var, int32_t flags,
                 std::u16string_view sep, inspector::Switches switches, Address record,
                 sections::ReportOutput* sink) {
  int32_t total = 0;
  ReadSafeArrayDesc(process, record, DescriptorCell(process.memory(), var), total);
  if ((flags & varDef) != 0) {
    int32_t dataBytes = total;
    report += kCrLf;
    AppendSection(report, sections::VariableInfo(process, var, dataBytes));
    report += kCrLf;
  }
  if ((flags & varSA_Stru) != 0) {
    report += kCrLf;
    AppendSection(report, sections::SafeArrayInfo(process, record, (flags & varSA_Bounds) != 0));
    report += kCrLf;
  }
  if ((flags & varValues) == 0) return;
  const SafeArrayDesc desc = SafeArrayDesc::Load(process.memory(), record);
  // The element count is a Double quotient; 0 / 0 (an array without storage)
  // is the platform's overflow.
  if (desc.cbElements == 0) Raise(kOverflow);
  report += u"\r\n/// VALUES ///\r\n";
  const size_t count_at = report.size();
  AppendDouble(report, static_cast<double>(total) / desc.cbElements);
  UseDecimalSeparator(report, count_at, process.DecimalSeparator());
  report += u" elements, ";
  AppendInteger(report, total);
  report += u" bytes in memory, Entry = ";
  AppendInteger(report, SignedAddress(process.memory().layout(), desc.pvData));
  report += kCrLf;
  AppendValues(report, process, var, sep, switches, sink);
}

// The path of everything that is not an array.
void ValueReport(std::u16string& report, ClientProcess& process, Address var, int32_t flags,
                 std::u16string_view sep, inspector::Switches switches, int64_t entry,
                 sections::ReportOutput* sink) {
  if ((flags & varDef) != 0) {
    int32_t dataBytes = 0;
    AppendSection(report, sections::VariableInfo(process, var, dataBytes));
    report += kCrLf;
  }
  const int32_t total = DataSize(process, var);
  if ((flags & varValues) == 0) return;
  report += u"\r\n/// VALUE ///\r\n1 element, ";
  AppendInteger(report, total);
  report += u" bytes in memory, Entry = ";
  AppendInteger(report, entry);
  report += kCrLf;
  AppendValues(report, process, var, sep, switches, sink);
}

}  // namespace

std::u16string RavoDUZE::operator()(Address var, std::optional<bool> DebugF,
                                    std::optional<int32_t> varFlags,
                                    std::optional<int32_t> vatFlags,
                                    std::optional<std::u16string> sep) {
  static_cast<void>(DebugF);  // accepted and ignored
  std::u16string report;
  Build(report, nullptr, var, varFlags, vatFlags, std::move(sep));
  return report;
}

void RavoDUZE::Report(const std::function<void(std::u16string& text)>& sink, Address var,
                      std::optional<bool> DebugF, std::optional<int32_t> varFlags,
                      std::optional<int32_t> vatFlags, std::optional<std::u16string> sep) {
  sections::FunctionOutput output(sink);
  Report(output, var, DebugF, varFlags, vatFlags, std::move(sep));
}

void RavoDUZE::Report(sections::ReportOutput& output, Address var, std::optional<bool> DebugF,
                      std::optional<int32_t> varFlags, std::optional<int32_t> vatFlags,
                      std::optional<std::u16string> sep) {
  static_cast<void>(DebugF);  // accepted and ignored
  std::u16string report;
  Build(report, &output, var, varFlags, vatFlags, std::move(sep));
  if (!report.empty()) output.Take(report);
}

void RavoDUZE::Build(std::u16string& report, sections::ReportOutput* sink, Address var,
                     std::optional<int32_t> varFlags, std::optional<int32_t> vatFlags,
                     std::optional<std::u16string> sep) {
  const int32_t flags = varFlags.value_or(varALLINFO);
  const std::u16string separator = sep.value_or(u" ");
  ClientProcess& process = process_;
  const Memory& memory = process.memory();

  const Layout& layout = memory.layout();
  LocalFrame frame(process);
  alignas(8) uint8_t local_record[kMaxSafeArrayDescSize] = {};
  const Address record =
      process.CallRecord(std::span(local_record, SafeArrayDescSize(layout)));  // cleared to zero

  // The entry value: the first pointer's width of the data field.
  const int64_t entry = SignedAddress(
      layout, ReadPointer(memory, ToAddress(layout, AddAddress(layout, SignedAddress(layout, var),
                                                               kDataFieldOffset))));
  const uint16_t type = VarType(memory, LoadVariant(memory, var));
  const inspector::Switches switches = inspector::DecodeVatFlags(vatFlags.value_or(vatALLINFO));
  if ((flags & varARG) != 0) {
    int64_t argAddress = 0;
    AppendSection(report, sections::VariantArgInfo(process, var, argAddress));
    report += u"\r\n\r\n";
  }
  if ((type & vbArray) != 0) {
    ArrayReport(report, process, var, flags, separator, switches, record, sink);
  } else {
    ValueReport(report, process, var, flags, separator, switches, entry, sink);
  }
}

// The version information is the library's own where the component is a
// library file, the compiled-in one over the model.
std::u16string RavoDUZE::About() {
  const std::optional<LibraryVersion> own = process_.OwnVersion();
  return own ? inspector::AboutText(*own) : inspector::AboutText();
}

// The help text starts with the About text, taken through the class's own
// public call.
std::u16string RavoDUZE::HELP() { return inspector::HelpText(About()); }

}  // namespace dudUdudADOD
