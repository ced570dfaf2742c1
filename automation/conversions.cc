#include "automation/conversions.h"

#include "automation/bstr.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"

namespace dudUdudADOD::automation {

const char16_t* BaseTypeName(uint16_t type) {
  switch (type) {
    case vbEmpty:
      return u"Empty";
    case vbNull:
      return u"Null";
    case vbInteger:
      return u"Integer";
    case vbLong:
      return u"Long";
    case vbSingle:
      return u"Single";
    case vbDouble:
      return u"Double";
    case vbCurrency:
      return u"Currency";
    case vbDate:
      return u"Date";
    case vbString:
      return u"String";
    case vbObject:
      return u"Object";
    case vbError:
      return u"Error";
    case vbBoolean:
      return u"Boolean";
    case vbVariant:
      return u"Variant";
    case vbDecimal:
      return u"Decimal";
    case vbByte:
      return u"Byte";
    case vbLongLong:
      return u"LongLong";
    // The language has no names for these; they take those of the family's
    // managed runtime, except the machine integers, which are named apart
    // from the language's 16-bit Integer ("Int", "UInt").
    case vbSByte:
      return u"SByte";
    case vbUShort:
      return u"UShort";
    case vbUInteger:
      return u"UInteger";
    case vbULong:
      return u"ULong";
    case vbInt:
      return u"Int";
    case vbUInt:
      return u"UInt";
    default:
      return u"Unknown";  // DataObject, user-defined types, unknown codes
  }
}

uint16_t VarType(const Memory& memory, const VariantImage& v) {
  const uint16_t vt = v.vt();
  if ((vt & kByRef) == 0) return vt;
  const auto type = static_cast<uint16_t>(vt & ~kByRef);
  // The type of a value held by reference stands in the variant itself; only
  // a referenced Variant keeps its type where it lies.
  if (type != vbVariant) return type;
  return Dereference(memory, v).vt();
}

uint64_t TextLength(const ClientProcess& process, const VariantImage& v) {
  const VariantImage value = Dereference(process.memory(), v);
  switch (value.vt()) {
    case vbString:
      return process.SysStringByteLen(value.pointer()) / 2;
    case vbArray | vbByte:
      return SafeArrayDataSize(process.memory(), value.pointer()) / 2;
    default:
      // An object's default text, or a few dozen characters at most.
      return process.Text(value).size();
  }
}

char16_t AnsiChar(int32_t code) {
  // Windows-1252 at 128 to 159; its five unassigned positions keep their
  // own code point, as the platform's conversion does.
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  if (code < 0 || code > 255) Raise(kInvalidArgument);
  if (code >= 128 && code < 160) return kHigh[code - 128];
  return static_cast<char16_t>(code);
}

}  // namespace dudUdudADOD::automation
