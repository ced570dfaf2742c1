#include "automation/decimal_text.h"

#include <optional>
#include <string_view>

#include "automation/digits.h"
#include "automation/runtime_error.h"

namespace dudUdudADOD::automation {

namespace {

// "." and `width` digits of `fraction`, trailing zeros dropped; nothing for 0.
void AppendFraction(std::u16string& out, uint64_t fraction, int width) {
  if (fraction == 0) return;
  while (fraction % 10 == 0) {
    fraction /= 10;
    --width;
  }
  out += u'.';
  out.append(static_cast<size_t>(width), u'0');
  WriteDigitsBackwards(out.data() + out.size(), fraction);
}

void AppendAscii(std::u16string& out, const char* first, const char* last) {
  for (; first != last; ++first) out += static_cast<char16_t>(*first);
}

// A 96-bit magnitude of a Decimal value.
struct U96 {
  uint32_t w[3] = {0, 0, 0};  // w[0] is the lowest word

  static U96 From(const Decimal& d) {
    return U96{{static_cast<uint32_t>(d.lo), static_cast<uint32_t>(d.lo >> 32), d.hi}};
  }
  bool IsZero() const { return (w[0] | w[1] | w[2]) == 0; }
  bool IsOdd() const { return (w[0] & 1) != 0; }

  // this /= divisor; returns the remainder.
  uint32_t DivMod(uint32_t divisor) {
    uint64_t rest = 0;
    for (int i = 2; i >= 0; --i) {
      const uint64_t current = (rest << 32) | w[i];
      w[i] = static_cast<uint32_t>(current / divisor);
      rest = current % divisor;
    }
    return static_cast<uint32_t>(rest);
  }

  // this = this * factor + addend; false (and this unchanged) on overflow.
  bool MulAdd(uint32_t factor, uint32_t addend) {
    U96 result;
    uint64_t carry = addend;
    for (int i = 0; i < 3; ++i) {
      const uint64_t current = uint64_t{w[i]} * factor + carry;
      result.w[i] = static_cast<uint32_t>(current);
      carry = current >> 32;
    }
    if (carry != 0) return false;
    *this = result;
    return true;
  }

  Decimal ToDecimal(uint8_t scale, bool negative) const {
    return Decimal{scale, negative && !IsZero(), w[2], uint64_t{w[0]} | (uint64_t{w[1]} << 32)};
  }
};

// The decimal digits of v, "0" for zero.
std::string DigitsOf(U96 v) {
  if (v.IsZero()) return "0";
  char buffer[32];
  char* p = buffer + sizeof buffer;
  while (!v.IsZero()) {
    uint32_t chunk = v.DivMod(1000000000u);
    // Full chunks of nine digits, except the leading one.
    for (int i = 0; i < 9 && (chunk != 0 || !v.IsZero()); ++i) {
      *--p = static_cast<char>('0' + chunk % 10);
      chunk /= 10;
    }
  }
  return std::string(p, buffer + sizeof buffer);
}

constexpr uint8_t kMaxDecimalScale = 28;
constexpr size_t kMaxDecimalDigits = 29;

// Whether dropping `dropped` (the digits right of the cut) rounds the kept
// part up: above half, or exactly half and the kept part odd.
bool RoundsUp(std::string_view dropped, bool kept_odd) {
  if (dropped.empty() || dropped[0] < '5') return false;
  if (dropped[0] > '5') return true;
  if (dropped.find_first_not_of('0', 1) != std::string_view::npos) return true;
  return kept_odd;
}

std::optional<U96> Accumulate(std::string_view digits) {
  U96 v;
  for (char c : digits) {
    if (!v.MulAdd(10, static_cast<uint32_t>(c - '0'))) return std::nullopt;
  }
  return v;
}

}  // namespace

void AppendCurrency(std::u16string& out, int64_t scaled) {
  const uint64_t magnitude = Magnitude(scaled);
  if (scaled < 0) out += u'-';
  AppendUnsigned(out, magnitude / 10000);
  AppendFraction(out, magnitude % 10000, 4);
}

Decimal DecimalFromDigits(bool negative, std::string digits, int64_t exponent) {
  if (digits.empty()) return Decimal{};
  if (exponent >= 0) {
    if (static_cast<int64_t>(digits.size()) + exponent > int64_t{kMaxDecimalDigits}) {
      Raise(kOverflow);
    }
    digits.append(static_cast<size_t>(exponent), '0');
    exponent = 0;
  }
  int64_t scale = -exponent;
  size_t keep = digits.size();
  if (scale > kMaxDecimalScale) {
    const auto excess = static_cast<uint64_t>(scale - kMaxDecimalScale);
    // Below half of 10^-28 the value rounds to zero.
    if (excess > keep) return Decimal{};
    keep -= static_cast<size_t>(excess);
    scale = kMaxDecimalScale;
  }
  std::optional<U96> kept;
  while (true) {
    if (keep <= kMaxDecimalDigits) {
      kept = Accumulate(std::string_view(digits).substr(0, keep));
      if (kept) break;
    }
    if (scale == 0) Raise(kOverflow);  // whole digits are never dropped
    --keep;
    --scale;
  }
  if (RoundsUp(std::string_view(digits).substr(keep), kept->IsOdd()) && !kept->MulAdd(1, 1)) {
    Raise(kOverflow);
  }
  return kept->ToDecimal(static_cast<uint8_t>(scale), negative);
}

void AppendDecimal(std::u16string& out, const Decimal& value) {
  if (value.scale > kMaxDecimalScale) Raise(kInvalidArgument);
  const U96 magnitude = U96::From(value);
  std::string digits = DigitsOf(magnitude);
  const size_t scale = value.scale;
  if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  const size_t point = digits.size() - scale;
  size_t end = digits.size();
  while (end > point && digits[end - 1] == '0') --end;
  if (value.negative && !magnitude.IsZero()) out += u'-';
  AppendAscii(out, digits.data(), digits.data() + point);
  if (end > point) {
    out += u'.';
    AppendAscii(out, digits.data() + point, digits.data() + end);
  }
}

Decimal RoundDecimal(const Decimal& value, uint8_t scale) {
  if (value.scale > kMaxDecimalScale) Raise(kInvalidArgument);
  if (value.scale <= scale) return value;
  U96 magnitude = U96::From(value);
  // The last digit dropped decides, the ones before it only break a tie.
  uint32_t last = 0;
  bool rest_nonzero = false;
  for (int i = value.scale; i > scale; --i) {
    rest_nonzero = rest_nonzero || last != 0;
    last = magnitude.DivMod(10);
  }
  const bool up = last > 5 || (last == 5 && (rest_nonzero || magnitude.IsOdd()));
  // The quotient is below 2^96 / 10, so adding one cannot overflow.
  if (up) magnitude.MulAdd(1, 1);
  return magnitude.ToDecimal(scale, value.negative);
}

}  // namespace dudUdudADOD::automation
