#include "automation/floating_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <optional>

#include "automation/digits.h"

namespace dudUdudADOD::automation {

namespace {

// Two pair words as one 64-bit word, the first pair stored first.
uint64_t JoinPairs(uint32_t first, uint32_t second) {
  if constexpr (std::endian::native == std::endian::little) {
    return first | uint64_t{second} << 32;
  } else {
    return uint64_t{first} << 32 | second;
  }
}

// The exact text: to_chars' general format with a precision is printf's %g,
// correctly rounded from the binary value. Exact but slow, so it is kept for
// the values whose rounding the fast path below cannot decide.
template <typename Float>
void AppendFloatingExactly(std::u16string& out, Float value, int precision) {
  char buffer[40];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision);
  for (const char* p = buffer; p != result.ptr; ++p) {
    out += *p == 'e' ? u'E' : static_cast<char16_t>(*p);
  }
}

struct U128 {
  uint64_t hi;
  uint64_t lo;
};

// a x b from 32-bit halves: i686 has no 128-bit integer type.
U128 MultiplyWide(uint64_t a, uint64_t b) {
  const uint64_t a_lo = a & UINT32_MAX;
  const uint64_t a_hi = a >> 32;
  const uint64_t b_lo = b & UINT32_MAX;
  const uint64_t b_hi = b >> 32;
  const uint64_t low = a_lo * b_lo;
  const uint64_t cross1 = a_hi * b_lo;
  const uint64_t cross2 = a_lo * b_hi;
  // Three 32-bit quantities: no overflow.
  const uint64_t middle = (low >> 32) + (cross1 & UINT32_MAX) + (cross2 & UINT32_MAX);
  return U128{a_hi * b_hi + (cross1 >> 32) + (cross2 >> 32) + (middle >> 32),
              (middle << 32) | (low & UINT32_MAX)};
}

// 10^k as significand x 2^exponent, the significand in [2^63, 2^64) and
// truncated: significand x 2^exponent <= 10^k < (significand + 1) x 2^exponent.
struct WidePowerOf10 {
  uint64_t significand;
  int exponent;
};

// Every scale a finite non-zero Double or Single needs to bring its leading
// 15 (or 7) digits before the point; see AppendFloating.
constexpr int kMinScale = -295;
constexpr int kMaxScale = 338;

// The table below is computed in exact big-integer arithmetic at compile
// time: 10^k by repeated multiplication, and 10^-k as floor(2^1248 / 10^k)
// by repeated division by 10 (the floor of a floor is the floor of the exact
// quotient).
constexpr int kLimbs = 40;  // 1280 bits: 10^338 and 2^1248
constexpr int kNumeratorBits = 1248;
using BigNumber = std::array<uint32_t, kLimbs>;
using WidePowers = std::array<WidePowerOf10, kMaxScale - kMinScale + 1>;

constexpr int BitLength(const BigNumber& b) {
  for (int i = kLimbs - 1; i >= 0; --i) {
    if (b[static_cast<size_t>(i)] != 0) {
      return 32 * i + static_cast<int>(std::bit_width(b[static_cast<size_t>(i)]));
    }
  }
  return 0;
}

// The 64 bits of b from bit `low` up; bits below 0 read as zero.
constexpr uint64_t BitsFrom(const BigNumber& b, int low) {
  uint64_t result = 0;
  for (int i = 63; i >= 0; --i) {
    const int bit = low + i;
    const uint64_t set = bit < 0 ? 0 : (b[static_cast<size_t>(bit / 32)] >> (bit % 32)) & 1;
    result = (result << 1) | set;
  }
  return result;
}

// 10^0 to 10^kMaxScale.
constexpr void SetPositivePowers(WidePowers& table) {
  BigNumber big{};
  big[0] = 1;
  for (int k = 0; k <= kMaxScale; ++k) {
    const int length = BitLength(big);
    table[static_cast<size_t>(k - kMinScale)] = {BitsFrom(big, length - 64), length - 64};
    uint64_t carry = 0;
    for (uint32_t& limb : big) {
      const uint64_t product = uint64_t{limb} * 10 + carry;
      limb = static_cast<uint32_t>(product);
      carry = product >> 32;
    }
  }
}

// 10^-1 down to 10^kMinScale.
constexpr void SetNegativePowers(WidePowers& table) {
  BigNumber big{};
  big[kNumeratorBits / 32] = uint32_t{1} << (kNumeratorBits % 32);
  for (int k = -1; k >= kMinScale; --k) {
    uint64_t rest = 0;
    for (int i = kLimbs - 1; i >= 0; --i) {
      const uint64_t current = (rest << 32) | big[static_cast<size_t>(i)];
      big[static_cast<size_t>(i)] = static_cast<uint32_t>(current / 10);
      rest = current % 10;
    }
    const int length = BitLength(big);
    table[static_cast<size_t>(k - kMinScale)] = {BitsFrom(big, length - 64),
                                                 length - 64 - kNumeratorBits};
  }
}

constexpr WidePowers kWidePowersOf10 = [] {
  WidePowers table{};
  SetPositivePowers(table);
  SetNegativePowers(table);
  return table;
}();

// floor(log10(2^n)) for |n| <= 2620.
int FloorLog10Pow2(int n) { return (n * 315653) >> 20; }

// m x 2^e x 10^s, m in [2^63, 2^64), as a whole part and the first 64 bits
// of the fraction (2^64 is one). The caller's s keeps the whole part within
// [10^6 - 1, 10^16), so that it takes all but 9 to 44 bits of the product's
// high word: both shifts below stay within 1 to 63.
struct Scaled {
  uint64_t whole;
  uint64_t fraction;
  // The exact value lies in [whole.fraction, whole.fraction + slack) (2^-64
  // units): the power of ten is short by less than one unit of its last
  // place, and the fraction's bits beyond 64 are dropped.
  uint64_t slack;
};

Scaled ScaleByPowerOf10(uint64_t m, int e, int s) {
  const WidePowerOf10& power = kWidePowersOf10[static_cast<size_t>(s - kMinScale)];
  const U128 product = MultiplyWide(m, power.significand);
  // The product carries 64 + r fraction bits.
  const int r = -(e + power.exponent) - 64;
  const auto shift = static_cast<unsigned>(r);
  return Scaled{product.hi >> shift, (product.hi << (64 - shift)) | (product.lo >> shift),
                (uint64_t{1} << (64 - shift)) + 1};
}

// |value| = m x 2^e with the top bit of m set.
struct Binary {
  bool negative;
  uint64_t m;
  int e;
};

// Splits a finite non-zero value into sign, significand and exponent; writes
// the text of any other value (NaN, the infinities, either zero) and returns
// nullopt. A Single widens to a Double exactly, NaN and infinities included.
std::optional<Binary> Decompose(std::u16string& out, double value) {
  const auto bits = std::bit_cast<uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const auto biased_exponent = static_cast<int>((bits >> 52) & 0x7ff);
  if (biased_exponent == 0x7ff) {
    if ((bits << 12) != 0) {
      out += u"NaN";
    } else {
      out += negative ? u"-Inf" : u"Inf";
    }
    return std::nullopt;
  }
  if ((bits << 1) == 0) {  // negative zero too
    out += u'0';
    return std::nullopt;
  }
  if (biased_exponent == 0) {  // subnormal
    const int normalize = std::countl_zero(bits << 12);
    return Binary{negative, bits << (12 + normalize), -1074 - 12 - normalize};
  }
  return Binary{negative, bits << 11 | uint64_t{1} << 63, biased_exponent - 1075 - 11};
}

// A value rounded to kPrecision significant digits: `digits` has exactly
// kPrecision of them and the leading one is worth 10^x.
struct Rounded {
  uint64_t digits;
  int x;
};

// Rounds m x 2^e to kPrecision digits, or returns nullopt when the fast
// arithmetic cannot decide the rounding (the caller takes the exact path).
template <int kPrecision>
std::optional<Rounded> RoundToPrecision(uint64_t m, int e) {
  // m x 2^e lies in [2^(e+63), 2^(e+64)), a range narrower than a decade:
  // its decimal exponent is the estimate or one more. Scaling by
  // 10^(kPrecision-1-estimate) puts the leading kPrecision digits before the
  // point, or one digit more when the estimate was low; then the scale is
  // taken one step down.
  constexpr uint64_t kLimit = kPowersOf10[kPrecision];
  int scale = kPrecision - 1 - FloorLog10Pow2(e + 63);
  Scaled scaled;
  while ((scaled = ScaleByPowerOf10(m, e, scale)).whole >= kLimit) --scale;  // at most once
  // The exact scaled value lies within `slack` above the approximation:
  // rounding it to an integer is decided unless a half lies in that window.
  // The window also holds the exact ties (whose direction is the reference's
  // to choose) and is rarely hit otherwise: those values take the exact path.
  constexpr uint64_t kHalf = uint64_t{1} << 63;
  if (scaled.fraction - (kHalf - scaled.slack) - 1 < scaled.slack) return std::nullopt;
  // Up when the fraction is above a half, which outside the window is its
  // top bit. An arithmetic form keeps the compiler from branching on what is
  // a coin toss for most values. The increment may carry into a new leading
  // digit.
  uint64_t rounded = scaled.whole + (scaled.fraction >> 63);
  if (rounded == kLimit) {  // 9.99...95 rounded up to 10
    rounded /= 10;
    --scale;
  }
  return Rounded{rounded, kPrecision - 1 - scale};
}

// Eight digits as two words of four characters, at `words`.
void SetWords(uint64_t* words, uint32_t eight_digits) {
  const uint32_t high = eight_digits / 10000;
  const uint32_t low = eight_digits % 10000;
  words[0] = JoinPairs(kDigitPairWords[high / 100], kDigitPairWords[high % 100]);
  words[1] = JoinPairs(kDigitPairWords[low / 100], kDigitPairWords[low % 100]);
}

// The kPrecision digits d[0..] after a leading "0", four characters to a
// 64-bit word: word j holds d[4j-1] to d[4j+2]. The text is then made of
// stores from registers only: reading back characters just stored in
// another width stalls.
template <int kPrecision>
struct DigitWords {
  static constexpr size_t kWords = kPrecision > 8 ? 4 : 2;
  std::array<uint64_t, kWords> words;
  char16_t first_digit;
  int count;  // digits without trailing zeros

  explicit DigitWords(uint64_t rounded) {
    if constexpr (kWords == 4) {
      SetWords(&words[0], static_cast<uint32_t>(rounded / 100000000));
      SetWords(&words[2], static_cast<uint32_t>(rounded % 100000000));
    } else {
      SetWords(&words[0], static_cast<uint32_t>(rounded));
    }
    first_digit = static_cast<char16_t>(u'0' + rounded / kPowersOf10[kPrecision - 1]);
    count = kPrecision;
    for (uint64_t rest = rounded; rest % 10 == 0; rest /= 10) --count;
  }

  // Pair k: d[2k-1] and d[2k].
  uint32_t Pair(size_t k) const {
    const uint64_t word = words[k / 2];
    const bool second = (k % 2 != 0) == (std::endian::native == std::endian::little);
    return static_cast<uint32_t>(second ? word >> 32 : word);
  }

  // Every word at `at`, the leading "0" included.
  void StoreWords(char16_t* at) const {
    for (size_t j = 0; j < kWords; ++j) std::memcpy(at + 4 * j, &words[j], sizeof words[j]);
  }
};

// d[0..whole) at p, "." and then the other digits, as many as the room
// holds. Each pair is written once shifted for the fraction, and then once
// unshifted where it belongs to the whole part (elsewhere into scratch).
template <int kPrecision>
void WriteWithPoint(char16_t* p, const DigitWords<kPrecision>& d, int whole) {
  d.StoreWords(p);
  *p = d.first_digit;
  char16_t junk[2];
  for (size_t k = 1; k < 2 * d.kWords; ++k) {
    const uint32_t two = d.Pair(k);
    std::memcpy(static_cast<int>(2 * k - 1) < whole ? p + 2 * k - 1 : junk, &two, sizeof two);
  }
  p[whole] = u'.';
}

// "d.dddE+xx": the mantissa, then at least two digits of the exponent.
template <int kPrecision>
char16_t* WriteExponentForm(char16_t* p, const DigitWords<kPrecision>& d, int x) {
  WriteWithPoint(p, d, 1);
  char16_t* end = p + (d.count > 1 ? d.count + 1 : 1);
  *end++ = u'E';
  *end++ = x < 0 ? u'-' : u'+';
  const auto magnitude = static_cast<size_t>(x < 0 ? -x : x);
  if (magnitude >= 100) *end++ = static_cast<char16_t>(u'0' + magnitude / 100);
  std::memcpy(end, kDigitPairs16[magnitude % 100].data(), sizeof kDigitPairs16[0]);
  return end + 2;
}

// "0.000ddd" for -4 <= x < 0; the leading "0" of the words lands on a zero
// or the point.
template <int kPrecision>
char16_t* WriteBelowOne(char16_t* p, const DigitWords<kPrecision>& d, int x) {
  std::memcpy(p, u"0.0000", 6 * sizeof(char16_t));
  char16_t* const digits = p + 2 + (-x - 1);
  d.StoreWords(digits - 1);
  p[1] = u'.';
  return digits + d.count;
}

// The text of `value` as the header describes it, kPrecision being 15 for
// Double and 7 for Single: decomposed, rounded, spread into words and
// written in one of the three forms within kRoom characters, the excess
// dropped.
template <int kPrecision, typename Float>
void AppendFloating(std::u16string& out, Float value) {
  static_assert(kPrecision == 7 || kPrecision == 15);
  const std::optional<Binary> binary = Decompose(out, static_cast<double>(value));
  if (!binary) return;
  const std::optional<Rounded> rounded = RoundToPrecision<kPrecision>(binary->m, binary->e);
  if (!rounded) return AppendFloatingExactly(out, value, kPrecision);
  const DigitWords<kPrecision> digits(rounded->digits);
  const int x = rounded->x;
  constexpr size_t kRoom = 40;
  const size_t start = out.size();
  out.resize(start + kRoom);
  char16_t* const begin = out.data() + start;
  char16_t* const p = begin + (binary->negative ? 1 : 0);
  char16_t* end;
  char16_t lead = digits.first_digit;  // what a non-negative text starts with
  if (x < -4 || x >= kPrecision) {
    end = WriteExponentForm(p, digits, x);
  } else if (x < 0) {
    end = WriteBelowOne(p, digits, x);
    lead = u'0';
  } else {
    // A whole number without a point has its zeros among the digits.
    const int whole = x + 1;
    WriteWithPoint(p, digits, whole);
    end = p + (digits.count > whole ? digits.count + 1 : whole);
  }
  *begin = binary->negative ? u'-' : lead;
  out.resize(static_cast<size_t>(end - out.data()));
}

}  // namespace

void AppendDouble(std::u16string& out, double value) { AppendFloating<15>(out, value); }

void AppendSingle(std::u16string& out, float value) { AppendFloating<7>(out, value); }

void UseDecimalSeparator(std::u16string& out, size_t from, char16_t separator) {
  if (separator == u'.') return;
  std::replace(out.begin() + static_cast<std::ptrdiff_t>(from), out.end(), u'.', separator);
}

}  // namespace dudUdudADOD::automation
