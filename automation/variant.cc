#include "automation/variant.h"

#include <algorithm>
#include <cstring>

#include "automation/runtime_error.h"

namespace dudUdudADOD::automation {

uint16_t VariantImage::U16(int at) const {
  const auto i = static_cast<size_t>(at);
  return static_cast<uint16_t>(bytes_[i] | (bytes_[i + 1] << 8));
}

uint32_t VariantImage::U32(int at) const {
  return uint32_t{U16(at)} | (uint32_t{U16(at + 2)} << 16);
}

uint64_t VariantImage::U64(int at) const {
  return uint64_t{U32(at)} | (uint64_t{U32(at + 4)} << 32);
}

void VariantImage::SetU16(int at, uint16_t v) {
  const auto i = static_cast<size_t>(at);
  bytes_[i] = static_cast<uint8_t>(v);
  bytes_[i + 1] = static_cast<uint8_t>(v >> 8);
}

void VariantImage::SetU32(int at, uint32_t v) {
  SetU16(at, static_cast<uint16_t>(v));
  SetU16(at + 2, static_cast<uint16_t>(v >> 16));
}

void VariantImage::SetU64(int at, uint64_t v) {
  SetU32(at, static_cast<uint32_t>(v));
  SetU32(at + 4, static_cast<uint32_t>(v >> 32));
}

float VariantImage::single() const {
  const uint32_t bits = U32(8);
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

double VariantImage::double_value() const {
  const uint64_t bits = U64(8);
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

Decimal VariantImage::decimal() const {
  return automation::Decimal{bytes_[2], (bytes_[3] & 0x80) != 0, U32(4), U64(8)};
}

VariantImage VariantImage::OfType(uint16_t vt) {
  VariantImage v;
  v.set_vt(vt);
  return v;
}

VariantImage VariantImage::WithPointer(uint16_t vt, Address address) {
  VariantImage v = OfType(vt);
  v.SetU64(8, address);
  return v;
}

VariantImage VariantImage::Integer(int16_t x) {
  VariantImage v = OfType(vbInteger);
  v.SetU16(8, static_cast<uint16_t>(x));
  return v;
}

VariantImage VariantImage::Long(int32_t x) { return WithPointer(vbLong, static_cast<uint32_t>(x)); }

VariantImage VariantImage::Single(float x) {
  uint32_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return WithPointer(vbSingle, bits);
}

VariantImage VariantImage::Double(double x) {
  VariantImage v = OfType(vbDouble);
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  v.SetU64(8, bits);
  return v;
}

VariantImage VariantImage::Currency(int64_t scaled) {
  VariantImage v = OfType(vbCurrency);
  v.SetU64(8, static_cast<uint64_t>(scaled));
  return v;
}

VariantImage VariantImage::Date(double x) {
  VariantImage v = Double(x);
  v.set_vt(vbDate);
  return v;
}

VariantImage VariantImage::Boolean(bool x) {
  VariantImage v = OfType(vbBoolean);
  v.SetU16(8, static_cast<uint16_t>(x ? kTrue : kFalse));
  return v;
}

VariantImage VariantImage::Byte(uint8_t x) { return WithPointer(vbByte, x); }

VariantImage VariantImage::Error(int32_t code) {
  return WithPointer(vbError, static_cast<uint32_t>(code));
}

VariantImage VariantImage::OfDecimal(const automation::Decimal& d) {
  VariantImage v = OfType(vbDecimal);
  v.bytes_[2] = d.scale;
  v.bytes_[3] = d.negative ? 0x80 : 0;
  v.SetU32(4, d.hi);
  v.SetU64(8, d.lo);
  return v;
}

VariantImage LoadVariant(const Memory& memory, Address address) {
  VariantImage v;
  memory.Read(address, v.bytes().data(), memory.layout().variant_size);
  v.set_pointer_size(memory.layout().pointer_size);
  return v;
}

uint32_t StorageSize(uint16_t type, const Layout& layout) {
  switch (type) {
    case vbByte:
    case vbSByte:
      return 1;
    case vbInteger:
    case vbBoolean:
    case vbUShort:
      return 2;
    case vbLong:
    case vbSingle:
    case vbError:
    case vbUInteger:
    case vbInt:
    case vbUInt:
      return 4;
    case vbLongLong:
    case vbULong:
      return 8;
    case vbString:
    case vbObject:
    case vbDataObject:
      return layout.pointer_size;
    case vbDouble:
    case vbCurrency:
    case vbDate:
      return 8;
    case vbVariant:
      return layout.variant_size;
    case vbDecimal:
      return kDecimalSize;
    default:
      return 0;
  }
}

VariantImage Dereference(const Memory& memory, const VariantImage& v) {
  const uint16_t vt = v.vt();
  if ((vt & kByRef) == 0) return v;
  const auto type = static_cast<uint16_t>(vt & ~kByRef);
  const Address target = v.pointer();
  if (type == vbVariant) {
    const VariantImage inner = LoadVariant(memory, target);
    if (inner.vt() == (vbVariant | kByRef)) Raise(kTypeMismatch);
    return Dereference(memory, inner);
  }
  if ((type & vbArray) != 0) return VariantImage::WithPointer(type, ReadPointer(memory, target));
  VariantImage value = VariantImage::OfType(type);
  if (type == vbDecimal) {
    memory.Read(target, value.bytes().data(), kDecimalSize);
    value.set_vt(vbDecimal);
    return value;
  }
  const uint32_t size = std::min<uint32_t>(StorageSize(type, memory.layout()), 8);
  memory.Read(target, value.data_field(), size);
  value.set_pointer_size(memory.layout().pointer_size);
  return value;
}

}  // namespace dudUdudADOD::automation
