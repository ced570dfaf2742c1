#include "automation/integer_types.h"

#include "automation/runtime_error.h"
#include "automation/text_forms.h"

namespace dudUdudADOD::automation {

namespace {

bool IsSignedInteger(uint16_t type) {
  return type == vbInteger || type == vbLong || type == vbSByte || type == vbLongLong ||
         type == vbInt;
}

// The type's bytes as an unsigned little-endian number.
uint64_t ReadBits(const uint8_t* bytes, uint32_t size) {
  uint64_t bits = 0;
  for (uint32_t i = 0; i < size; ++i) bits |= uint64_t{bytes[i]} << (8 * i);
  return bits;
}

}  // namespace

WholeNumber WholeNumber::Of(int64_t v) {
  // |INT64_MIN| is 2^63, which only the unsigned form holds.
  return v < 0 ? WholeNumber{true, uint64_t{0} - static_cast<uint64_t>(v)}
               : WholeNumber{false, static_cast<uint64_t>(v)};
}

bool IsIntegerType(uint16_t type) {
  switch (type) {
    case vbInteger:
    case vbLong:
    case vbSByte:
    case vbByte:
    case vbUShort:
    case vbUInteger:
    case vbLongLong:
    case vbULong:
    case vbInt:
    case vbUInt:
      return true;
    default:
      return false;
  }
}

WholeNumber ReadWhole(uint16_t type, const uint8_t* bytes) {
  const uint32_t size = StorageSize(type, kWin32Layout);
  const uint64_t bits = ReadBits(bytes, size);
  const uint64_t sign_bit = uint64_t{1} << (8 * size - 1);
  if (!IsSignedInteger(type) || (bits & sign_bit) == 0) return WholeNumber::OfUnsigned(bits);
  // Two's complement of `size` bytes: the magnitude is 2^(8 size) - bits.
  const uint64_t mask = size == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * size)) - 1;
  return WholeNumber{true, ((~bits) & mask) + 1};
}

VariantImage IntegerVariant(uint16_t type, WholeNumber v) {
  const uint32_t size = StorageSize(type, kWin32Layout);
  const uint32_t bits = 8 * size - (IsSignedInteger(type) ? 1 : 0);
  const uint64_t highest = bits == 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
  // A signed type reaches one further below zero than above it.
  const uint64_t lowest = IsSignedInteger(type) ? highest + 1 : 0;
  if (v.negative ? v.magnitude > lowest : v.magnitude > highest) Raise(kOverflow);
  const uint64_t stored = v.negative ? uint64_t{0} - v.magnitude : v.magnitude;
  VariantImage image = VariantImage::OfType(type);
  for (uint32_t i = 0; i < size; ++i) {
    image.data_field()[i] = static_cast<uint8_t>(stored >> (8 * i));
  }
  return image;
}

int64_t WholeToInt64(WholeNumber v) {
  constexpr uint64_t kLimit = uint64_t{1} << 63;
  if (v.negative ? v.magnitude > kLimit : v.magnitude >= kLimit) Raise(kOverflow);
  return v.negative ? static_cast<int64_t>(uint64_t{0} - v.magnitude)
                    : static_cast<int64_t>(v.magnitude);
}

void AppendWhole(std::u16string& out, WholeNumber v) {
  AppendSignAndMagnitude(out, v.negative, v.magnitude);
}

}  // namespace dudUdudADOD::automation
