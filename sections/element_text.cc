#include "sections/element_text.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "automation/bstr.h"
#include "automation/checked_math.h"
#include "automation/conversions.h"
#include "automation/integer_types.h"
#include "automation/runtime_error.h"
#include "automation/text_forms.h"
#include "automation/variant.h"

namespace dudUdudADOD::sections {

using namespace automation;  // the platform model is this file's vocabulary

namespace {

void AppendBoolean(std::u16string& out, bool value) { out += value ? u"True" : u"False"; }

// A Variant element shows its own value's text. Where the platform has no text
// (Null, an array, an object without a default value, Nothing) it shows the
// value's type name instead, so one odd element does not hide the others.
void AppendVariantElement(std::u16string& out, const ClientProcess& process,
                          const VariantImage& v) {
  const VariantImage value = Dereference(process.memory(), v);
  const uint16_t vt = value.vt();
  // Nothing (address 0) and stray addresses find no object either.
  const bool textless_object =
      (vt == vbObject || vt == vbDataObject) && !process.HasDefaultValue(value.pointer());
  const bool unknown_type = vt > vbByte && !IsIntegerType(vt);
  if (vt == vbNull || (vt & vbArray) != 0 || unknown_type || textless_object) {
    out += process.TypeName(value);
    return;
  }
  process.AppendText(out, value);
}

// Elements of a user-defined or unknown type have no value text: their bytes
// are shown in hex, two digits each, so nothing in them is taken for an
// address.
void AppendHexBytes(std::u16string& out, const uint8_t* bytes, size_t count) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  for (size_t i = 0; i < count; ++i) {
    out.push_back(kHex[bytes[i] >> 4]);
    out.push_back(kHex[bytes[i] & 15]);
  }
}

// A Single, Double or Currency element, written by the walk itself and not
// by the platform, with the decimal separator of the platform's texts: the
// same value reads the same in a typed array as in a Variant or a scalar.
void AppendFraction(std::u16string& out, char16_t separator, uint16_t type, const uint8_t* cell) {
  const size_t start = out.size();
  if (type == vbSingle) {
    float v;
    std::memcpy(&v, cell, 4);
    AppendSingle(out, v);
  } else if (type == vbDouble) {
    double v;
    std::memcpy(&v, cell, 8);
    AppendDouble(out, v);
  } else {
    int64_t v;
    std::memcpy(&v, cell, 8);
    AppendCurrency(out, v);
  }
  UseDecimalSeparator(out, start, separator);
}

}  // namespace

// The string address at the start of an element cell, of the pointer's width.
Address CellPointer(const Layout& layout, const uint8_t* cell) {
  if constexpr (std::endian::native == std::endian::little) {
    if (layout.pointer_size == 4) {
      uint32_t at;
      std::memcpy(&at, cell, 4);
      return at;
    }
  }
  Address at = 0;
  for (uint32_t i = 0; i < layout.pointer_size; ++i) at |= Address{cell[i]} << (8 * i);
  return at;
}

// A byte length times the length factor: "6", or "2.5" for half of an odd one.
void AppendLength(std::u16string& out, uint32_t length, bool halved) {
  AppendInteger(out, halved ? length / 2 : length);
  if (halved && length % 2 != 0) out += u".5";
}

char16_t* WriteAddressAndLength(char16_t* p, int64_t address, uint32_t bytes, bool halved) {
  *p++ = u'(';
  *p++ = u'^';
  p = WriteInteger(p, address);
  *p++ = u'/';
  p = WriteInteger(p, halved ? bytes / 2 : bytes);
  if (halved && bytes % 2 != 0) {
    *p++ = u'.';
    *p++ = u'5';
  }
  *p++ = u')';
  return p;
}

// Sized for the widest and cut to what was written: counting the digits
// first would count them twice.
void AppendAddressAndLength(std::u16string& out, int64_t address, uint32_t bytes, bool halved) {
  const size_t start = out.size();
  out.resize(start + kAddressAndLengthWidest);
  char16_t* p = WriteAddressAndLength(out.data() + start, address, bytes, halved);
  out.resize(static_cast<size_t>(p - out.data()));
}

void AppendLegend(std::u16string& out, bool indexed, bool char_ascii, bool ordinal, bool addr_len) {
  out += u"Legend: Indexed=";
  AppendBoolean(out, indexed);
  out += u", CharASCII=";
  AppendBoolean(out, char_ascii);
  out += u", OrdinalPos=";
  AppendBoolean(out, ordinal);
  out += u", (^Address/LenB)=";
  AppendBoolean(out, addr_len);
  out += u"\r\n";
}

// An element of one of the integer types; false, writing nothing, for any
// other type.
bool AppendIntegerElement(std::u16string& out, uint16_t type, const uint8_t* cell) {
  switch (type) {
    case vbByte:
      AppendInteger(out, cell[0]);
      return true;
    case vbInteger:
      AppendInteger(out, static_cast<int16_t>(cell[0] | (cell[1] << 8)));
      return true;
    case vbLong: {
      int32_t v;
      std::memcpy(&v, cell, 4);
      AppendInteger(out, v);
      return true;
    }
    default:
      if (!IsIntegerType(type)) return false;
      AppendWhole(out, ReadWhole(type, cell));
      return true;
  }
}

// One element's value text from its raw bytes (`cell` holds the first bytes
// of the element, zero-padded to a variant of the largest platform; `raw`
// all `raw_size` of them; `separator` the process's decimal separator).
void AppendElementValue(std::u16string& out, const ClientProcess& process, char16_t separator,
                        uint16_t type, const uint8_t* cell, const uint8_t* raw, size_t raw_size) {
  const Layout& layout = process.memory().layout();
  VariantImage image = VariantImage::OfType(type);
  image.set_pointer_size(layout.pointer_size);
  if (AppendIntegerElement(out, type, cell)) return;
  switch (type) {
    case vbBoolean:
      AppendBoolean(out, (cell[0] | cell[1]) != 0);
      return;
    case vbString:
      process.AppendString(out, CellPointer(layout, cell));
      return;
    case vbEmpty:
      return;
    case vbNull:
      Raise(kInvalidUseOfNull);
    case vbVariant:
      std::memcpy(image.bytes().data(), cell, layout.variant_size);
      AppendVariantElement(out, process, image);
      return;
    case vbDecimal:
      std::memcpy(image.bytes().data(), cell, kDecimalSize);
      image.set_vt(vbDecimal);
      process.AppendText(out, image);
      return;
    case vbSingle:
    case vbDouble:
    case vbCurrency:
      AppendFraction(out, separator, type, cell);
      return;
    case vbDate:
    case vbObject:
    case vbDataObject:
    case vbError:
      std::memcpy(image.data_field(), cell, 8);
      process.AppendText(out, image);
      return;
    default:
      AppendHexBytes(out, raw, raw_size);
      return;
  }
}

// The bytes of an element held in the element cell: a Variant fills a whole
// variant of the platform (16 or 24), a Decimal 16, every value type at most
// 8. Elements of other types are shown byte by byte and keep their whole
// size.
size_t CellBytes(uint16_t type, int32_t element_size, const Layout& layout) {
  const auto size = static_cast<size_t>(element_size);
  if (type == vbVariant) return std::min<size_t>(size, layout.variant_size);
  if (type == vbDecimal) return std::min<size_t>(size, kDecimalSize);
  if (StorageSize(type, layout) != 0 || type == vbEmpty || type == vbNull) {
    return std::min<size_t>(size, 8);
  }
  return size;
}

void AppendElementText(std::u16string& out, const ClientProcess& process, uint16_t type,
                       const uint8_t* raw, size_t raw_size) {
  uint8_t cell[kMaxVariantSize] = {};
  std::memcpy(cell, raw, std::min<size_t>(raw_size, kMaxVariantSize));
  AppendElementValue(out, process, process.DecimalSeparator(), type, cell, raw, raw_size);
}

size_t ElementTextBytes(uint16_t type, int32_t element_size, const Layout& layout) {
  return CellBytes(type, element_size, layout);
}

}  // namespace dudUdudADOD::sections
