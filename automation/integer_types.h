// The platform's integer types, read and written from their bytes.
//
// Ten type codes hold a whole number in two's complement or plain binary,
// little-endian, and nothing else:
//   Byte (17)     unsigned  8 bits     SByte (16)      signed    8 bits
//   Integer (2)   signed   16 bits     UShort (18)     unsigned 16 bits
//   Long (3)      signed   32 bits     UInteger (19)   unsigned 32 bits
//   LongLong (20) signed   64 bits     ULong (21)      unsigned 64 bits
//   Int (22)      signed   32 bits     UInt (23)       unsigned 32 bits
// Int and UInt are the machine's own integers; the platform keeps them at
// 32 bits on 64-bit Windows too, so no size here depends on the layout.
//
// A value is carried as a sign and a magnitude (WholeNumber), the one form
// that holds both LongLong's lowest value and ULong's highest. Its text is
// the signed decimal number without grouping ("-5", "18446744073709551615"),
// written by text_forms.h's own digit code, never by locale machinery.
#ifndef DUD_AUTOMATION_INTEGER_TYPES_H_
#define DUD_AUTOMATION_INTEGER_TYPES_H_

#include <cstdint>
#include <string>

#include "automation/variant.h"

namespace dudUdudADOD::automation {

// A whole number as sign and magnitude. Zero is never negative.
struct WholeNumber {
  bool negative = false;
  uint64_t magnitude = 0;

  static WholeNumber Of(int64_t v);
  static WholeNumber OfUnsigned(uint64_t v) { return WholeNumber{false, v}; }
  friend bool operator==(const WholeNumber&, const WholeNumber&) = default;
};

// True for the ten codes above (no array or by-reference bit).
bool IsIntegerType(uint16_t type);

// The value that a `type` holds in its StorageSize(type) bytes at `bytes`.
// `type` must be an integer type.
WholeNumber ReadWhole(uint16_t type, const uint8_t* bytes);

// A variant of the integer type `type` that holds `v`; raises 6 (Overflow)
// when `v` lies outside the type's range.
VariantImage IntegerVariant(uint16_t type, WholeNumber v);

// The value as an int64_t; raises 6 beyond its range (a ULong above 2^63 - 1).
int64_t WholeToInt64(WholeNumber v);

// The signed decimal text of `v`, appended to `out`.
void AppendWhole(std::u16string& out, WholeNumber v);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_INTEGER_TYPES_H_
