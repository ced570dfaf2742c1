#include "model/variant_conversions.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <string_view>

#include "automation/bstr.h"
#include "automation/conversions.h"
#include "automation/integer_types.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "automation/text_forms.h"
#include "model/bstr_heap.h"
#include "model/variant_memory.h"

namespace dudUdudADOD::automation {

namespace {

// Serial dates are valid strictly between these: year 100 to year 9999.
constexpr double kDateBelowFirst = -657435.0;
constexpr double kDateAfterLast = 2958466.0;

// Currency holds its value times 10000.
constexpr int64_t kCurrencyScale = 10000;
constexpr double kCurrencyScaleDouble = 10000.0;

bool IsObjectType(uint16_t vt) { return vt == vbObject || vt == vbDataObject; }

// Strings and objects convert to numbers through their text.
bool IsTextual(uint16_t vt) { return vt == vbString || IsObjectType(vt); }

std::u16string TextOf(const Process& process, const VariantImage& value) {
  if (value.vt() == vbString) return ReadString(process.memory(), value.pointer());
  return ObjectDefaultText(process, value.pointer());
}

// An array of Byte reads as the text its data bytes spell; no storage, "".
void AppendByteArrayText(std::u16string& out, const AddressSpace& memory, Address descriptor) {
  const uint64_t bytes = SafeArrayDataSize(memory, descriptor);
  if (bytes != 0) AppendUtf16Bytes(out, memory, SafeArrayData(memory, descriptor), bytes);
}

Decimal CheckedDecimal(const VariantImage& value) {
  const Decimal d = value.decimal();
  if (d.scale > 28) Raise(kInvalidArgument);
  return d;
}

// ---------------------------------------------------------------------------
// Rounding and ranges

double RoundHalfEven(double x) {
  const double nearest = std::round(x);  // halves away from zero
  if (std::fabs(x - std::trunc(x)) == 0.5 && std::fmod(nearest, 2.0) != 0) {
    return nearest - std::copysign(1.0, x);
  }
  return nearest;
}

// Rounded to a whole number; raises 6 beyond 64 bits (NaN included).
int64_t WholeOfDouble(double d) {
  const double r = RoundHalfEven(d);
  if (!(r >= -0x1p63 && r < 0x1p63)) Raise(kOverflow);
  return static_cast<int64_t>(r);
}

int64_t WholeOfCurrency(int64_t scaled) {
  int64_t quotient = scaled / kCurrencyScale;
  const int64_t remainder = scaled % kCurrencyScale;
  const int64_t distance = remainder < 0 ? -remainder : remainder;
  constexpr int64_t kHalf = kCurrencyScale / 2;
  if (distance > kHalf || (distance == kHalf && quotient % 2 != 0)) {
    quotient += scaled < 0 ? -1 : 1;
  }
  return quotient;
}

// A magnitude and a sign as an int64; raises 6 when it does not fit.
int64_t SignedOf(uint64_t magnitude, bool negative) {
  constexpr uint64_t kLimit = uint64_t{1} << 63;
  if (negative ? magnitude > kLimit : magnitude >= kLimit) Raise(kOverflow);
  return negative ? static_cast<int64_t>(uint64_t{0} - magnitude) : static_cast<int64_t>(magnitude);
}

int64_t CurrencyOfDecimal(const Decimal& d) {
  static constexpr uint64_t kPowers[] = {1, 10, 100, 1000, 10000};
  const Decimal rounded = RoundDecimal(d, 4);
  uint64_t scaled = rounded.lo;
  if (rounded.hi != 0 || __builtin_mul_overflow(scaled, kPowers[4 - rounded.scale], &scaled)) {
    Raise(kOverflow);
  }
  return SignedOf(scaled, rounded.negative);
}

Decimal DecimalOfWhole(int64_t v) {
  const bool negative = v < 0;
  return Decimal{0, negative, 0,
                 negative ? uint64_t{0} - static_cast<uint64_t>(v) : static_cast<uint64_t>(v)};
}

// A floating value keeps the significant digits its text form shows.
Decimal DecimalOfFloating(double d, int significant_digits) {
  if (!std::isfinite(d)) Raise(kOverflow);
  char buffer[40];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, d,
                                    std::chars_format::scientific, significant_digits - 1);
  const std::u16string text(buffer, result.ptr);
  return *ParseDecimal(text);
}

int64_t InRange(int64_t v, int64_t low, int64_t high) {
  if (v < low || v > high) Raise(kOverflow);
  return v;
}

// ---------------------------------------------------------------------------
// A dereferenced value as each target type. Null raises 94, a value without
// a number (arrays, Error, unknown codes) 13.

// The value of an integer type held in the variant's data field.
WholeNumber WholeOfVariant(const VariantImage& value) {
  return ReadWhole(value.vt(), value.data_field());
}

double DoubleOfWhole(WholeNumber v) {
  const auto magnitude = static_cast<double>(v.magnitude);
  return v.negative ? -magnitude : magnitude;
}

double ToDouble(const Process& process, const VariantImage& value) {
  if (IsIntegerType(value.vt())) return DoubleOfWhole(WholeOfVariant(value));
  switch (value.vt()) {
    case vbEmpty:
      return 0;
    case vbNull:
      Raise(kInvalidUseOfNull);
    case vbBoolean:
      return value.integer();
    case vbSingle:
      return value.single();
    case vbDouble:
    case vbDate:
      return value.double_value();
    case vbCurrency:
      return static_cast<double>(value.currency()) / kCurrencyScaleDouble;
    case vbDecimal: {
      std::u16string text;
      AppendDecimal(text, CheckedDecimal(value));
      return *ParseNumber(text);
    }
    case vbString:
    case vbObject:
    case vbDataObject:
      if (const auto number = ParseNumber(TextOf(process, value))) return *number;
      Raise(kTypeMismatch);
    default:
      Raise(kTypeMismatch);
  }
}

// Rounded half to even to a whole number of any integer type's range (from
// -2^63 to 2^64 - 1); raises 6 beyond it.
WholeNumber ToWholeNumber(const Process& process, const VariantImage& value) {
  if (IsIntegerType(value.vt())) return WholeOfVariant(value);
  switch (value.vt()) {
    case vbBoolean:
      return WholeNumber::Of(value.integer());
    case vbCurrency:
      return WholeNumber::Of(WholeOfCurrency(value.currency()));
    case vbDecimal: {
      const Decimal rounded = RoundDecimal(CheckedDecimal(value), 0);
      if (rounded.hi != 0 || (rounded.negative && rounded.lo > (uint64_t{1} << 63))) {
        Raise(kOverflow);
      }
      return WholeNumber{rounded.negative && rounded.lo != 0, rounded.lo};
    }
    default: {
      const double r = RoundHalfEven(ToDouble(process, value));
      if (!(r >= -0x1p63 && r < 0x1p64)) Raise(kOverflow);  // NaN included
      return r < 0 ? WholeNumber{true, static_cast<uint64_t>(-r)}
                   : WholeNumber::OfUnsigned(static_cast<uint64_t>(r));
    }
  }
}

// The value for a variant of the integer type `type`. Text for a 64-bit
// type is read exactly, as for Currency: a Double keeps only 53 bits.
WholeNumber ToIntegerType(const Process& process, const VariantImage& value, uint16_t type) {
  if (!IsTextual(value.vt()) || StorageSize(type, kWin32Layout) != 8) {
    return ToWholeNumber(process, value);
  }
  const auto exact = ParseDecimal(TextOf(process, value));
  if (!exact) Raise(kTypeMismatch);
  return ToWholeNumber(process, VariantImage::OfDecimal(*exact));
}

// Rounded half to even to a whole number; raises 6 beyond 64 bits.
int64_t ToWhole(const Process& process, const VariantImage& value) {
  return WholeToInt64(ToWholeNumber(process, value));
}

float ToSingle(const Process& process, const VariantImage& value) {
  const double d = ToDouble(process, value);
  if (std::fabs(d) > FLT_MAX) Raise(kOverflow);
  return static_cast<float>(d);
}

int64_t ToCurrency(const Process& process, const VariantImage& value) {
  const uint16_t vt = value.vt();
  if (vt == vbBoolean) return ToWhole(process, value) * kCurrencyScale;
  if (IsIntegerType(vt)) {
    // Through a Decimal, which checks that the scaled LongLong or ULong fits.
    const WholeNumber w = WholeOfVariant(value);
    return CurrencyOfDecimal(Decimal{0, w.negative, 0, w.magnitude});
  }
  if (vt == vbCurrency) return value.currency();
  if (vt == vbDecimal) return CurrencyOfDecimal(CheckedDecimal(value));
  if (IsTextual(vt)) {
    // Read exactly: a Double would lose the last digits of a large amount.
    if (const auto d = ParseDecimal(TextOf(process, value))) return CurrencyOfDecimal(*d);
    Raise(kTypeMismatch);
  }
  return WholeOfDouble(ToDouble(process, value) * kCurrencyScaleDouble);
}

double ToDate(const Process& process, const VariantImage& value) {
  double serial = 0;
  if (IsTextual(value.vt())) {
    const std::u16string text = TextOf(process, value);
    const auto date = ParseDate(text);
    const auto number = date ? date : ParseNumber(text);
    if (!number) Raise(kTypeMismatch);
    serial = *number;
  } else {
    serial = ToDouble(process, value);
  }
  if (!(serial > kDateBelowFirst && serial < kDateAfterLast)) Raise(kOverflow);
  return serial;
}

bool EqualsIgnoringCase(std::u16string_view text, std::u16string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i] >= u'A' && text[i] <= u'Z'
                           ? static_cast<char16_t>(text[i] + (u'a' - u'A'))
                           : text[i];
    if (c != word[i]) return false;
  }
  return true;
}

bool BooleanOfText(std::u16string_view text) {
  const size_t first = text.find_first_not_of(u' ');
  const std::u16string_view word =
      first == std::u16string_view::npos
          ? std::u16string_view()
          : text.substr(first, text.find_last_not_of(u' ') - first + 1);
  if (EqualsIgnoringCase(word, u"true")) return true;
  if (EqualsIgnoringCase(word, u"false")) return false;
  const auto number = ParseNumber(text);
  if (!number) Raise(kTypeMismatch);
  return *number != 0;
}

bool ToBoolean(const Process& process, const VariantImage& value) {
  switch (value.vt()) {
    case vbDecimal: {
      const Decimal d = CheckedDecimal(value);
      return d.hi != 0 || d.lo != 0;
    }
    case vbString:
    case vbObject:
    case vbDataObject:
      return BooleanOfText(TextOf(process, value));
    case vbCurrency:
      return value.currency() != 0;
    default:
      return ToDouble(process, value) != 0;
  }
}

Decimal ToDecimal(const Process& process, const VariantImage& value) {
  if (IsIntegerType(value.vt())) {
    const WholeNumber w = WholeOfVariant(value);
    return Decimal{0, w.negative, 0, w.magnitude};
  }
  switch (value.vt()) {
    case vbEmpty:
      return Decimal{};
    case vbBoolean:
      return DecimalOfWhole(ToWhole(process, value));
    case vbCurrency: {
      const int64_t scaled = value.currency();
      Decimal d = DecimalOfWhole(scaled);
      d.scale = 4;
      return d;
    }
    case vbDecimal:
      return CheckedDecimal(value);
    case vbSingle:
      return DecimalOfFloating(value.single(), 7);
    case vbDouble:
    case vbDate:
      return DecimalOfFloating(value.double_value(), 15);
    case vbString:
    case vbObject:
    case vbDataObject:
      if (const auto d = ParseDecimal(TextOf(process, value))) return *d;
      Raise(kTypeMismatch);
    case vbNull:
      Raise(kInvalidUseOfNull);
    default:
      Raise(kTypeMismatch);
  }
}

}  // namespace

std::u16string TypeName(const Process& process, const VariantImage& v) {
  const uint16_t vt = VarType(process.memory(), v);
  if ((vt & vbArray) != 0) {
    return std::u16string(BaseTypeName(static_cast<uint16_t>(vt & kBaseTypeMask))) + u"()";
  }
  if (vt == vbObject) {
    // Only an object's name needs the value: the object it refers to.
    const VariantImage value = Dereference(process.memory(), v);
    if (value.pointer() == 0) return u"Nothing";
    const ObjectInfo* object = process.FindObject(value.pointer());
    return object != nullptr ? object->class_name : u"Object";
  }
  return BaseTypeName(vt);
}

void AppendVariantText(std::u16string& out, const Process& process, const VariantImage& v) {
  const AddressSpace& memory = process.memory();
  const VariantImage value = Dereference(memory, v);
  if (IsIntegerType(value.vt())) return AppendWhole(out, WholeOfVariant(value));
  switch (value.vt()) {
    case vbEmpty:
      return;
    case vbNull:
      Raise(kInvalidUseOfNull);
    case vbSingle:
      return AppendSingle(out, value.single());
    case vbDouble:
      return AppendDouble(out, value.double_value());
    case vbCurrency:
      return AppendCurrency(out, value.currency());
    case vbDate:
      return AppendDate(out, value.double_value());
    case vbDecimal:
      return AppendDecimal(out, value.decimal());
    case vbBoolean:
      out += value.integer() != 0 ? u"True" : u"False";
      return;
    case vbError:
      out += u"Error ";
      return AppendInteger(out, value.long_value());
    case vbString:
      return AppendUtf16Bytes(out, memory, value.pointer(),
                              SysStringByteLen(memory, value.pointer()));
    case vbObject:
    case vbDataObject:
      out += ObjectDefaultText(process, value.pointer());
      return;
    case vbArray | vbByte:
      return AppendByteArrayText(out, memory, value.pointer());
    default:
      Raise(kTypeMismatch);
  }
}

std::u16string VariantToText(const Process& process, const VariantImage& v) {
  std::u16string text;
  AppendVariantText(text, process, v);
  return text;
}

uint32_t LenB(const Process& process, const VariantImage& v) {
  const VariantImage value = Dereference(process.memory(), v);
  if (value.vt() == vbString) return SysStringByteLen(process.memory(), value.pointer());
  // Texts come from memory of at most 2 GiB, so twice their length fits.
  return static_cast<uint32_t>(2 * VariantToText(process, value).size());
}

int32_t VariantToLong(const Process& process, const VariantImage& v) {
  const VariantImage value = Dereference(process.memory(), v);
  return static_cast<int32_t>(InRange(ToWhole(process, value), INT32_MIN, INT32_MAX));
}

VariantImage ChangeType(Process& process, const VariantImage& v, uint16_t type) {
  const VariantImage value = Dereference(process.memory(), v);
  if (type == vbVariant) return VariantCopy(process, value);
  if (value.vt() == vbNull) Raise(kInvalidUseOfNull);
  if (IsIntegerType(type)) return IntegerVariant(type, ToIntegerType(process, value, type));
  switch (type) {
    case vbSingle:
      return VariantImage::Single(ToSingle(process, value));
    case vbDouble:
      return VariantImage::Double(ToDouble(process, value));
    case vbCurrency:
      return VariantImage::Currency(ToCurrency(process, value));
    case vbDate:
      return VariantImage::Date(ToDate(process, value));
    case vbString:
      return VariantImage::String(SysAllocString(process, VariantToText(process, value)));
    case vbBoolean:
      return VariantImage::Boolean(ToBoolean(process, value));
    case vbDecimal:
      return VariantImage::OfDecimal(ToDecimal(process, value));
    case vbError:
      if (value.vt() != vbError) Raise(kTypeMismatch);
      return value;
    case vbObject:
    case vbDataObject:
      if (!IsObjectType(value.vt())) Raise(kTypeMismatch);
      return VariantImage::WithPointer(type, value.pointer());
    default:
      Raise(kTypeMismatch);
  }
}

const std::u16string& ObjectDefaultText(const Process& process, Address object) {
  if (object == 0) Raise(kObjectNotSet);
  const ObjectInfo* info = process.FindObject(object);
  if (info == nullptr) Raise(kInvalidArgument);
  if (!info->default_value) Raise(kNoSuchMember);
  return *info->default_value;
}

}  // namespace dudUdudADOD::automation
