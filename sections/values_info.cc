#include "sections/values_info.h"

#include "automation/bstr.h"
#include "automation/checked_math.h"
#include "automation/conversions.h"
#include "automation/safe_array.h"
#include "automation/text_forms.h"
#include "automation/variant.h"
#include "sections/array_walk.h"
#include "sections/element_text.h"

namespace dudUdudADOD::sections {

using namespace automation;  // the platform model is this file's vocabulary

namespace {

// The scalar line: the value's text, then for the string-like types (codes
// 8 to 15) with AddrLen the address of the data field and the text's length.
// The report is one string: `out` holds it all so far.
void AppendScalar(std::u16string& out, ClientProcess& process, Address var, uint16_t type,
                  std::u16string_view sep, bool addr_len, bool halved) {
  const VariantImage value = LoadVariant(process.memory(), var);
  CheckStringSpace(out.size(), TextLength(process, value));  // before the text takes memory
  process.AppendText(out, value);
  if (addr_len && (type & 8) != 0) {
    const Layout& layout = process.memory().layout();
    out += u"(^";
    AppendInteger(out, AddAddress(layout, SignedAddress(layout, var), kDataFieldOffset));
    out += u"/";
    AppendLength(out, process.LenB(value), halved);
    out += u")";
    out += sep;
  } else {
    out += u"\r\n";
  }
  CheckStringSpace(out.size(), 0);
}

}  // namespace

void AppendValuesInfo(std::u16string& out, ClientProcess& process, Address var,
                      std::u16string_view sep, Switches& s, ReportOutput* sink, WalkSplit split) {
  const Memory& memory = process.memory();
  // The data field's address must exist.
  AddAddress(memory.layout(), SignedAddress(memory.layout(), var), kDataFieldOffset);
  const uint16_t type = VarType(memory, LoadVariant(memory, var));
  // The length factor comes from CharASCII as passed; the switch itself is
  // kept only for types that share a bit with Byte (17).
  const bool halved = s.CharASCII && (type & 8) != 0;
  s.CharASCII = s.CharASCII && (type & 17) != 0;
  if (s.Legend) AppendLegend(out, s.Indexed, s.CharASCII, s.OrdinalPos, s.AddrLen);
  if ((type & vbArray) == 0) {
    AppendScalar(out, process, var, type, sep, s.AddrLen, halved);
    return;
  }
  ArrayWalk(process, out, sep, sink, split).Run(var, type, s, halved);
  out += u"\r\n";
}

std::u16string ValuesInfo(ClientProcess& process, Address var, std::u16string_view sep,
                          Switches& s) {
  std::u16string text;
  AppendValuesInfo(text, process, var, sep, s);
  return text;
}

}  // namespace dudUdudADOD::sections
