// The platform's variant, its type codes, and host-side images of it.
//
// Layout (little-endian): vt, unsigned 16-bit, at 0; three reserved 16-bit
// words at 2, 4 and 6; the data field at 8, 8 bytes on 32-bit Windows and 16
// on 64-bit (a variant of 16 or 24 bytes, platform.h). A value held by
// reference, a string, an object and an array keep an address of the
// pointer's width at the start of the data field. A Decimal fills the first
// 16 bytes except vt: scale at 2, sign at 3, the high 32 bits at 4 and the
// low 64 bits at 8.
//
// VariantImage is a host copy of a variant: loading one from memory and
// storing one back are plain byte copies. It owns nothing; the strings and
// arrays its addresses point at live in the process. An image read from
// memory reads its pointer with that memory's width; one made here holds
// zeros above its values, so its pointer reads the same in either width.
#ifndef DUD_AUTOMATION_VARIANT_H_
#define DUD_AUTOMATION_VARIANT_H_

#include <array>
#include <cstdint>

#include "automation/memory.h"

namespace dudUdudADOD::automation {

// Type codes, as VarType returns them.
enum VarTypeCode : uint16_t {
  vbEmpty = 0,
  vbNull = 1,
  vbInteger = 2,
  vbLong = 3,
  vbSingle = 4,
  vbDouble = 5,
  vbCurrency = 6,
  vbDate = 7,
  vbString = 8,
  vbObject = 9,
  vbError = 10,
  vbBoolean = 11,
  vbVariant = 12,
  vbDataObject = 13,
  vbDecimal = 14,
  // The integer types beside the language's own Byte, Integer and Long: what
  // 64-bit clients and other languages pass (integer_types.h). Only LongLong
  // has a name in the language; the others are named after the types the
  // family's managed runtime gives these codes.
  vbSByte = 16,  // signed 8 bits
  vbByte = 17,
  vbUShort = 18,    // unsigned 16 bits
  vbUInteger = 19,  // unsigned 32 bits
  vbLongLong = 20,  // signed 64 bits
  vbULong = 21,     // unsigned 64 bits
  vbInt = 22,       // the machine's signed integer: 32 bits on both platforms
  vbUInt = 23,      // the machine's unsigned integer: 32 bits on both platforms
  vbUserDefinedType = 36,
  vbArray = 0x2000,
};

// The by-reference bit: stands only in a variant's vt, never in VarType.
inline constexpr uint16_t kByRef = 0x4000;
// The type code without the by-reference and array bits.
inline constexpr uint16_t kBaseTypeMask = 0x0FFF;

// A Decimal's bytes, from the start of the variant, on both platforms.
inline constexpr uint32_t kDecimalSize = 16;

// Booleans in the platform's form.
inline constexpr int16_t kTrue = -1;
inline constexpr int16_t kFalse = 0;

// A Decimal: a 96-bit unsigned magnitude scaled down by 10^scale (0 to 28).
struct Decimal {
  uint8_t scale = 0;
  bool negative = false;
  uint32_t hi = 0;
  uint64_t lo = 0;
};

class VariantImage {
 public:
  VariantImage() = default;

  uint16_t vt() const { return U16(0); }
  void set_vt(uint16_t vt) { SetU16(0, vt); }
  uint16_t reserved(int i) const { return U16(2 * i); }  // i = 1, 2, 3

  // Readings of the data field.
  int16_t integer() const { return static_cast<int16_t>(U16(8)); }
  int32_t long_value() const { return static_cast<int32_t>(U32(8)); }
  Address pointer() const { return pointer_size_ == 4 ? U32(8) : U64(8); }
  // The width pointer() reads: 8 for an image made here, the memory's for
  // one loaded from it.
  void set_pointer_size(uint32_t size) { pointer_size_ = static_cast<uint8_t>(size); }
  uint8_t byte() const { return bytes_[8]; }
  float single() const;
  double double_value() const;
  int64_t currency() const { return static_cast<int64_t>(U64(8)); }  // value x 10000
  Decimal decimal() const;

  std::array<uint8_t, kMaxVariantSize>& bytes() { return bytes_; }
  const std::array<uint8_t, kMaxVariantSize>& bytes() const { return bytes_; }
  uint8_t* data_field() { return bytes_.data() + kDataFieldOffset; }
  const uint8_t* data_field() const { return bytes_.data() + kDataFieldOffset; }

  // Makers of variants that hold their value.
  static VariantImage Empty() { return VariantImage(); }
  static VariantImage Null() { return OfType(vbNull); }
  static VariantImage Integer(int16_t v);
  static VariantImage Long(int32_t v);
  static VariantImage Single(float v);
  static VariantImage Double(double v);
  static VariantImage Currency(int64_t scaled);  // value x 10000
  static VariantImage Date(double v);
  static VariantImage Boolean(bool v);
  static VariantImage Byte(uint8_t v);
  static VariantImage Error(int32_t code);
  static VariantImage OfDecimal(const automation::Decimal& v);
  // A string, object or array variant over an address the caller owns.
  static VariantImage String(Address bstr) { return WithPointer(vbString, bstr); }
  static VariantImage Object(Address object) { return WithPointer(vbObject, object); }
  static VariantImage Array(uint16_t element_type, Address descriptor) {
    return WithPointer(static_cast<uint16_t>(vbArray | element_type), descriptor);
  }
  // A variant that refers to a value of type `type` at `address`.
  static VariantImage Reference(uint16_t type, Address address) {
    return WithPointer(static_cast<uint16_t>(type | kByRef), address);
  }
  static VariantImage OfType(uint16_t vt);
  static VariantImage WithPointer(uint16_t vt, Address address);

 private:
  uint16_t U16(int at) const;
  uint32_t U32(int at) const;
  uint64_t U64(int at) const;
  void SetU16(int at, uint16_t v);
  void SetU32(int at, uint32_t v);
  void SetU64(int at, uint64_t v);

  std::array<uint8_t, kMaxVariantSize> bytes_{};
  uint8_t pointer_size_ = 8;
};

VariantImage LoadVariant(const Memory& memory, Address address);

// Follows a by-reference variant to its value: the result holds the value
// itself (or, for a string, object or array, its address), as the
// platform's VariantCopyInd does but without copying strings or arrays. A
// reference to a variant is followed once; a variant that refers to another
// variant-by-reference raises 13. Raises 5 when the referenced memory cannot
// be read.
VariantImage Dereference(const Memory& memory, const VariantImage& v);

// Bytes that a value of `type` (no by-reference or array bit) takes where it
// is stored: in a variable, an array element or behind a reference. 0 for
// Empty, Null and codes the platform does not know. Strings and objects take
// a pointer, a Variant a whole variant, of `layout`'s sizes.
uint32_t StorageSize(uint16_t type, const Layout& layout);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_VARIANT_H_
