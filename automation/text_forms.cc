#include "automation/text_forms.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <system_error>

#include "automation/runtime_error.h"

namespace dudUdudADOD::automation {

namespace {

// ---------------------------------------------------------------------------
// Integers

// "00" to "99": one division by 100 yields two digits.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// 10^0 to 10^19, every power of ten that a uint64_t holds.
constexpr auto kPowersOf10 = [] {
  std::array<uint64_t, 20> powers{};
  uint64_t power = 1;
  for (uint64_t& p : powers) {
    p = power;
    power *= 10;  // wraps after the last entry, unused
  }
  return powers;
}();

int CountDigits(uint64_t v) {
  // 0 has one digit, like 1; and since every power of ten above 1 is even,
  // setting the low bit changes no other count.
  v |= 1;
  // bit_width x log10(2) (1233 / 4096) is the digit count or one less.
  const auto bits = static_cast<int>(std::bit_width(v));
  const int estimate = (bits * 1233) >> 12;
  return estimate + (v >= kPowersOf10[static_cast<size_t>(estimate)] ? 1 : 0);
}

// "00".."99" as two UTF-16 units each, so that a pair is one 4-byte store.
constexpr auto kDigitPairs16 = [] {
  std::array<std::array<char16_t, 2>, 100> pairs{};
  for (size_t i = 0; i < 100; ++i) {
    pairs[i] = {static_cast<char16_t>(kDigitPairs[2 * i]),
                static_cast<char16_t>(kDigitPairs[2 * i + 1])};
  }
  return pairs;
}();

// The same pairs as 32-bit words, to be stored whole.
constexpr auto kDigitPairWords = [] {
  std::array<uint32_t, 100> words{};
  for (size_t i = 0; i < 100; ++i) words[i] = std::bit_cast<uint32_t>(kDigitPairs16[i]);
  return words;
}();

// Two pair words as one 64-bit word, the first pair stored first.
uint64_t JoinPairs(uint32_t first, uint32_t second) {
  if constexpr (std::endian::native == std::endian::little) {
    return first | uint64_t{second} << 32;
  } else {
    return uint64_t{first} << 32 | second;
  }
}

// Writes the digits of v so that the last one lands just before `end`. The
// part below 2^32 is done in 32-bit arithmetic, the cheaper division.
void WriteDigitsBackwards(char16_t* end, uint64_t v) {
  while (v > UINT32_MAX) {
    const auto pair = static_cast<size_t>(v % 100);
    v /= 100;
    end -= 2;
    std::memcpy(end, kDigitPairs16[pair].data(), sizeof kDigitPairs16[pair]);
  }
  auto w = static_cast<uint32_t>(v);
  while (w >= 100) {
    const uint32_t pair = w % 100;
    w /= 100;
    end -= 2;
    std::memcpy(end, kDigitPairs16[pair].data(), sizeof kDigitPairs16[pair]);
  }
  if (w >= 10) {
    std::memcpy(end - 2, kDigitPairs16[w].data(), sizeof kDigitPairs16[w]);
  } else {
    *--end = static_cast<char16_t>(u'0' + w);
  }
}

void AppendUnsigned(std::u16string& out, uint64_t v) {
  const size_t start = out.size();
  out.resize(start + static_cast<size_t>(CountDigits(v)));
  WriteDigitsBackwards(out.data() + out.size(), v);
}

// |v| without overflow for INT64_MIN.
uint64_t Magnitude(int64_t v) {
  return v < 0 ? uint64_t{0} - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

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

// ---------------------------------------------------------------------------
// Floating point

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

// Computed in exact big-integer arithmetic at compile time: 10^k by repeated
// multiplication, and 10^-k as floor(2^1248 / 10^k) by repeated division by
// 10 (the floor of a floor is the floor of the exact quotient).
constexpr auto kWidePowersOf10 = [] {
  constexpr int kLimbs = 40;  // 1280 bits: 10^338 and 2^1248
  constexpr int kNumeratorBits = 1248;
  using Big = std::array<uint32_t, kLimbs>;
  const auto bit_length = [](const Big& b) {
    for (int i = kLimbs - 1; i >= 0; --i) {
      if (b[static_cast<size_t>(i)] != 0) {
        return 32 * i + static_cast<int>(std::bit_width(b[static_cast<size_t>(i)]));
      }
    }
    return 0;
  };
  // The 64 bits of b from bit `low` up; bits below 0 read as zero.
  const auto bits_from = [](const Big& b, int low) {
    uint64_t result = 0;
    for (int i = 63; i >= 0; --i) {
      const int bit = low + i;
      const uint64_t set = bit < 0 ? 0 : (b[static_cast<size_t>(bit / 32)] >> (bit % 32)) & 1;
      result = (result << 1) | set;
    }
    return result;
  };
  std::array<WidePowerOf10, kMaxScale - kMinScale + 1> table{};
  Big big{};
  big[0] = 1;
  for (int k = 0; k <= kMaxScale; ++k) {
    const int length = bit_length(big);
    table[static_cast<size_t>(k - kMinScale)] = {bits_from(big, length - 64), length - 64};
    uint64_t carry = 0;
    for (uint32_t& limb : big) {
      const uint64_t product = uint64_t{limb} * 10 + carry;
      limb = static_cast<uint32_t>(product);
      carry = product >> 32;
    }
  }
  big = Big{};
  big[kNumeratorBits / 32] = uint32_t{1} << (kNumeratorBits % 32);
  for (int k = -1; k >= kMinScale; --k) {
    uint64_t rest = 0;
    for (int i = kLimbs - 1; i >= 0; --i) {
      const uint64_t current = (rest << 32) | big[static_cast<size_t>(i)];
      big[static_cast<size_t>(i)] = static_cast<uint32_t>(current / 10);
      rest = current % 10;
    }
    const int length = bit_length(big);
    table[static_cast<size_t>(k - kMinScale)] = {bits_from(big, length - 64),
                                                 length - 64 - kNumeratorBits};
  }
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

// The text of `value` as the header describes it, kPrecision being 15 for
// Double and 7 for Single.
template <int kPrecision, typename Float>
void AppendFloating(std::u16string& out, Float value) {
  static_assert(kPrecision == 7 || kPrecision == 15);
  // A Single widens to a Double exactly, NaN and infinities included.
  const auto bits = std::bit_cast<uint64_t>(static_cast<double>(value));
  const bool negative = (bits >> 63) != 0;
  const auto biased_exponent = static_cast<int>((bits >> 52) & 0x7ff);
  if (biased_exponent == 0x7ff) {
    if ((bits << 12) != 0) {
      out += u"NaN";
    } else {
      out += negative ? u"-Inf" : u"Inf";
    }
    return;
  }
  if ((bits << 1) == 0) {  // negative zero too
    out += u'0';
    return;
  }
  // |value| = m x 2^e with the top bit of m set.
  uint64_t m = bits << 11 | uint64_t{1} << 63;
  int e = biased_exponent - 1075 - 11;
  if (biased_exponent == 0) {  // subnormal
    const int normalize = std::countl_zero(bits << 12);
    m = bits << (12 + normalize);
    e = -1074 - 12 - normalize;
  }
  // |value| = m x 2^e lies in [2^(e+63), 2^(e+64)), a range narrower than a
  // decade: its decimal exponent is the estimate or one more. Scaling by
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
  if (scaled.fraction - (kHalf - scaled.slack) - 1 < scaled.slack) {
    AppendFloatingExactly(out, value, kPrecision);
    return;
  }
  // Up when the fraction is above a half, which outside the window is its
  // top bit. An arithmetic form keeps the compiler from branching on what is
  // a coin toss for most values. The increment may carry into a new leading
  // digit, handled below.
  uint64_t rounded = scaled.whole + (scaled.fraction >> 63);
  if (rounded == kLimit) {  // 9.99...95 rounded up to 10
    rounded /= 10;
    --scale;
  }
  // `rounded` has exactly kPrecision digits; the leading one is worth 10^x.
  const int x = kPrecision - 1 - scale;

  // The kPrecision digits d[0..] after a leading "0", four characters to a
  // 64-bit word: word j holds d[4j-1] to d[4j+2]. The text is then made of
  // stores from registers only: reading back characters just stored in
  // another width stalls.
  constexpr size_t kWords = kPrecision > 8 ? 4 : 2;
  std::array<uint64_t, kWords> words;
  const auto set_words = [&words](size_t first, uint32_t eight_digits) {
    const uint32_t high = eight_digits / 10000;
    const uint32_t low = eight_digits % 10000;
    words[first] = JoinPairs(kDigitPairWords[high / 100], kDigitPairWords[high % 100]);
    words[first + 1] = JoinPairs(kDigitPairWords[low / 100], kDigitPairWords[low % 100]);
  };
  if constexpr (kWords == 4) {
    set_words(0, static_cast<uint32_t>(rounded / 100000000));
    set_words(2, static_cast<uint32_t>(rounded % 100000000));
  } else {
    set_words(0, static_cast<uint32_t>(rounded));
  }
  // Pair k: d[2k-1] and d[2k].
  const auto pair = [&words](size_t k) {
    const uint64_t word = words[k / 2];
    const bool second = (k % 2 != 0) == (std::endian::native == std::endian::little);
    return static_cast<uint32_t>(second ? word >> 32 : word);
  };
  const auto first_digit = static_cast<char16_t>(u'0' + rounded / kPowersOf10[kPrecision - 1]);
  int count = kPrecision;  // without trailing zeros
  for (uint64_t rest = rounded; rest % 10 == 0; rest /= 10) --count;

  // Everything is written within kRoom characters and the excess dropped.
  constexpr size_t kRoom = 40;
  const size_t start = out.size();
  out.resize(start + kRoom);
  char16_t* const begin = out.data() + start;
  char16_t* const p = begin + (negative ? 1 : 0);
  const auto store = [](char16_t* at, uint32_t two) { std::memcpy(at, &two, sizeof two); };
  char16_t junk[2];
  // d[0..whole) at p, "." and then the other digits, as many as the room
  // holds. Each pair is written once shifted for the fraction, and then once
  // unshifted where it belongs to the whole part (elsewhere into `junk`).
  const auto write_with_point = [&](int whole) {
    for (size_t j = 0; j < kWords; ++j) std::memcpy(p + 4 * j, &words[j], sizeof words[j]);
    *p = first_digit;
    for (size_t k = 1; k < 2 * kWords; ++k) {
      store(static_cast<int>(2 * k - 1) < whole ? p + 2 * k - 1 : junk, pair(k));
    }
    p[whole] = u'.';
  };
  char16_t* end;
  char16_t lead = first_digit;  // what a non-negative text starts with
  if (x < -4 || x >= kPrecision) {
    write_with_point(1);
    end = p + (count > 1 ? count + 1 : 1);
    *end++ = u'E';
    *end++ = x < 0 ? u'-' : u'+';
    const auto magnitude = static_cast<size_t>(x < 0 ? -x : x);
    if (magnitude >= 100) *end++ = static_cast<char16_t>(u'0' + magnitude / 100);
    std::memcpy(end, kDigitPairs16[magnitude % 100].data(), sizeof kDigitPairs16[0]);
    end += 2;
  } else if (x < 0) {  // "0.000ddd"; the leading "0" of the pairs lands on a zero or the point
    std::memcpy(p, u"0.0000", 6 * sizeof(char16_t));
    char16_t* const digits = p + 2 + (-x - 1);
    for (size_t j = 0; j < kWords; ++j) {
      std::memcpy(digits - 1 + 4 * j, &words[j], sizeof words[j]);
    }
    p[1] = u'.';
    end = digits + count;
    lead = u'0';
  } else {
    // A whole number without a point has its zeros among the digits.
    const int whole = x + 1;
    write_with_point(whole);
    end = p + (count > whole ? count + 1 : whole);
  }
  *begin = negative ? u'-' : lead;
  out.resize(static_cast<size_t>(end - out.data()));
}

// ---------------------------------------------------------------------------
// 96-bit magnitudes of Decimal values

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

// ---------------------------------------------------------------------------
// Number scanning, shared by ParseNumber and ParseDecimal

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int DigitValue(char16_t c) {
  if (IsDigit(c)) return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return 99;
}

// A number as written, in one shape for every form: digits x 10^exponent.
struct ScannedNumber {
  bool negative = false;
  std::string digits;    // significant digits, no leading or trailing zeros
  int64_t exponent = 0;  // empty digits: the value is zero
};

// "&H1F" or "&O17" (after trimming): a 32-bit pattern read as a Long.
std::optional<ScannedNumber> ScanRadix(std::u16string_view text) {
  if (text.size() < 3) return std::nullopt;
  const char16_t marker = text[1];
  const int base = (marker == u'H' || marker == u'h')   ? 16
                   : (marker == u'O' || marker == u'o') ? 8
                                                        : 0;
  if (base == 0) return std::nullopt;
  uint64_t value = 0;
  for (char16_t c : text.substr(2)) {
    const int digit = DigitValue(c);
    if (digit >= base) return std::nullopt;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (value > UINT32_MAX) Raise(kOverflow);
  }
  const auto long_value = static_cast<int32_t>(static_cast<uint32_t>(value));
  ScannedNumber number;
  number.negative = long_value < 0;
  const uint64_t magnitude = Magnitude(long_value);
  if (magnitude != 0) number.digits = std::to_string(magnitude);
  while (!number.digits.empty() && number.digits.back() == '0') {
    number.digits.pop_back();
    ++number.exponent;
  }
  return number;
}

// The exponent after "E": optional sign, at least one digit. Saturates far
// beyond any exponent that Double or Decimal can use.
std::optional<int64_t> ScanExponent(std::u16string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == u'+' || text[0] == u'-')) {
    negative = text[0] == u'-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  for (char16_t c : text) {
    if (!IsDigit(c)) return std::nullopt;
    value = std::min<int64_t>(value * 10 + (c - u'0'), int64_t{1} << 40);
  }
  return negative ? -value : value;
}

std::optional<ScannedNumber> ScanNumber(std::u16string_view text) {
  text = Trim(text);
  if (!text.empty() && text[0] == u'&') return ScanRadix(text);
  ScannedNumber number;
  size_t i = 0;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) number.negative = text[i++] == u'-';
  bool any_digit = false;
  bool after_point = false;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'.' && !after_point) {
      after_point = true;
    } else if (IsDigit(c)) {
      any_digit = true;
      if (c != u'0' || !number.digits.empty()) number.digits += static_cast<char>(c);
      if (after_point) --number.exponent;
    } else {
      break;
    }
  }
  if (!any_digit) return std::nullopt;
  if (i < text.size()) {
    if (text[i] != u'E' && text[i] != u'e') return std::nullopt;
    const auto exponent = ScanExponent(text.substr(i + 1));
    if (!exponent) return std::nullopt;
    number.exponent += *exponent;
  }
  while (!number.digits.empty() && number.digits.back() == '0') {
    number.digits.pop_back();
    ++number.exponent;
  }
  return number;
}

// digits x 10^exponent into a Decimal: at most 28 digits after the point and
// at most what 96 bits hold, rounded half to even.
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

// ---------------------------------------------------------------------------
// Dates

// The serial days of year 100-01-01 and 9999-12-31.
constexpr int64_t kFirstDay = -657434;
constexpr int64_t kLastDay = 2958465;
// Serial day of 1970-01-01, the epoch of the civil-day arithmetic below.
constexpr int64_t kUnixEpochDay = 25569;
constexpr int kSecondsPerDay = 86400;

struct CivilDate {
  int64_t year;
  int month;
  int day;
};

// Days since 1970-01-01 in the proleptic Gregorian calendar, and back. Eras
// of 400 years (146097 days) make both exact for any year.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

CivilDate CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const auto day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const auto month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return CivilDate{yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// Two digits, with a leading zero.
void AppendTwoDigits(std::u16string& out, int v) {
  out += static_cast<char16_t>(u'0' + v / 10);
  out += static_cast<char16_t>(u'0' + v % 10);
}

void AppendTimeOfDay(std::u16string& out, int seconds) {
  const int hour = seconds / 3600;
  AppendUnsigned(out, static_cast<uint64_t>(hour % 12 == 0 ? 12 : hour % 12));
  out += u':';
  AppendTwoDigits(out, seconds / 60 % 60);
  out += u':';
  AppendTwoDigits(out, seconds % 60);
  out += hour < 12 ? u" AM" : u" PM";
}

// A small reader over date text.
class DateReader {
 public:
  explicit DateReader(std::u16string_view text) : text_(text) {}

  void SkipSpaces() {
    while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
  }
  bool AtEnd() const { return at_ == text_.size(); }
  size_t position() const { return at_; }
  void Rewind(size_t saved) { at_ = saved; }

  bool Take(char16_t c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }

  // 1 to 4 digits; sets `digits` to how many were read.
  std::optional<int> Number(int& digits) {
    int value = 0;
    digits = 0;
    while (at_ < text_.size() && IsDigit(text_[at_]) && digits < 4) {
      value = value * 10 + (text_[at_++] - u'0');
      ++digits;
    }
    if (digits == 0 || (at_ < text_.size() && IsDigit(text_[at_]))) return std::nullopt;
    return value;
  }
  std::optional<int> Number() {
    int digits;
    return Number(digits);
  }

  // "AM" or "PM" in any case: 0 for AM, 12 for PM, nullopt when absent.
  std::optional<int> Meridiem() {
    if (text_.size() - at_ < 2) return std::nullopt;
    const auto first = static_cast<char16_t>(text_[at_] | 0x20);
    const auto second = static_cast<char16_t>(text_[at_ + 1] | 0x20);
    if (second != u'm' || (first != u'a' && first != u'p')) return std::nullopt;
    at_ += 2;
    return first == u'a' ? 0 : 12;
  }

 private:
  std::u16string_view text_;
  size_t at_ = 0;
};

struct DateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
};

// "M/D/Y": consumes it and fills the date, or leaves the reader where it was.
bool ReadDatePart(DateReader& reader, DateTimeParts& parts) {
  const size_t start = reader.position();
  int year_digits = 0;
  const auto month = reader.Number();
  const auto day = month && reader.Take(u'/') ? reader.Number() : std::nullopt;
  const auto year = day && reader.Take(u'/') ? reader.Number(year_digits) : std::nullopt;
  if (!year) {
    reader.Rewind(start);
    return false;
  }
  parts.month = *month;
  parts.day = *day;
  parts.year = *year;
  if (year_digits <= 2) parts.year += *year < 30 ? 2000 : 1900;
  return true;
}

// "H:MM[:SS] [AM|PM]".
bool ReadTimePart(DateReader& reader, DateTimeParts& parts) {
  const auto hour = reader.Number();
  const auto minute = hour && reader.Take(u':') ? reader.Number() : std::nullopt;
  if (!minute) return false;
  std::optional<int> second = 0;
  if (reader.Take(u':')) second = reader.Number();
  if (!second) return false;
  reader.SkipSpaces();
  if (const auto meridiem = reader.Meridiem()) {
    if (*hour > 12) return false;
    parts.hour = *hour % 12 + *meridiem;
  } else {
    parts.hour = *hour;
  }
  parts.minute = *minute;
  parts.second = *second;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------

void AppendInteger(std::u16string& out, int64_t value) {
  // Written on the stack and appended in one copy: growing the string first
  // would zero what the digits then overwrite.
  char16_t text[20];  // "-9223372036854775808"
  const uint64_t magnitude = Magnitude(value);
  const size_t sign = value < 0 ? 1 : 0;
  const size_t length = sign + static_cast<size_t>(CountDigits(magnitude));
  text[0] = u'-';
  WriteDigitsBackwards(text + length, magnitude);
  out.append(text, length);
}

char16_t* WriteInteger(char16_t* at, int64_t value) {
  const uint64_t magnitude = Magnitude(value);
  if (value < 0) *at++ = u'-';
  char16_t* end = at + CountDigits(magnitude);
  WriteDigitsBackwards(end, magnitude);
  return end;
}

void AppendSignAndMagnitude(std::u16string& out, bool negative, uint64_t magnitude) {
  if (negative) out += u'-';
  AppendUnsigned(out, magnitude);
}

size_t SignAndMagnitudeWidth(bool negative, uint64_t magnitude) {
  return (negative ? 1 : 0) + static_cast<size_t>(CountDigits(magnitude));
}

char16_t* WriteSignAndMagnitude(char16_t* at, bool negative, uint64_t magnitude) {
  if (negative) *at++ = u'-';
  char16_t* end = at + CountDigits(magnitude);
  WriteDigitsBackwards(end, magnitude);
  return end;
}

size_t IntegerWidth(int64_t value) {
  return (value < 0 ? 1 : 0) + static_cast<size_t>(CountDigits(Magnitude(value)));
}

char16_t* WriteInteger32(char16_t* at, int32_t value) {
  // The sign is stored always and kept only for a negative value.
  *at = u'-';
  at += value < 0 ? 1 : 0;
  const auto v = static_cast<uint32_t>(Magnitude(value));
  // All ten digits, zero-padded, as five pairs from independent quotients,
  // land at digits[6..16); the last `width` of them are then copied out in
  // one 16-character move whose excess the room past the text absorbs. A
  // branch on the width would mispredict on random numbers.
  char16_t digits[32] = {};
  const uint32_t high = v / 100000000, low = v % 100000000;
  const uint32_t upper = low / 10000, lower = low % 10000;
  const uint32_t pairs[5] = {high, upper / 100, upper % 100, lower / 100, lower % 100};
  for (size_t k = 0; k < 5; ++k) {
    std::memcpy(digits + 6 + 2 * k, kDigitPairs16[pairs[k]].data(), sizeof(char16_t) * 2);
  }
  const auto width = static_cast<size_t>(CountDigits(v));
  std::memcpy(at, digits + 16 - width, sizeof(char16_t) * 16);
  return at + width;
}

void AppendDouble(std::u16string& out, double value) { AppendFloating<15>(out, value); }

void AppendSingle(std::u16string& out, float value) { AppendFloating<7>(out, value); }

void AppendCurrency(std::u16string& out, int64_t scaled) {
  const uint64_t magnitude = Magnitude(scaled);
  if (scaled < 0) out += u'-';
  AppendUnsigned(out, magnitude / 10000);
  AppendFraction(out, magnitude % 10000, 4);
}

void AppendDate(std::u16string& out, double date) {
  // NaN fails both comparisons.
  if (!(date > static_cast<double>(kFirstDay - 1) && date < static_cast<double>(kLastDay + 1))) {
    Raise(kInvalidArgument);
  }
  const double whole = std::trunc(date);
  auto day = static_cast<int64_t>(whole);
  auto seconds = static_cast<int>(std::round(std::fabs(date - whole) * kSecondsPerDay));
  if (seconds == kSecondsPerDay) {
    // Rounded up to the next midnight, which is the next calendar day on
    // both sides of serial 0.
    seconds = 0;
    ++day;
  }
  if (day < kFirstDay || day > kLastDay) Raise(kInvalidArgument);
  if (day == 0) {
    AppendTimeOfDay(out, seconds);
    return;
  }
  const CivilDate civil = CivilFromDays(day - kUnixEpochDay);
  AppendUnsigned(out, static_cast<uint64_t>(civil.month));
  out += u'/';
  AppendUnsigned(out, static_cast<uint64_t>(civil.day));
  out += u'/';
  AppendUnsigned(out, static_cast<uint64_t>(civil.year));
  if (seconds != 0) {
    out += u' ';
    AppendTimeOfDay(out, seconds);
  }
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

std::optional<double> ParseNumber(std::u16string_view text) {
  const std::optional<ScannedNumber> number = ScanNumber(text);
  if (!number) return std::nullopt;
  if (number->digits.empty()) return 0.0;
  // The decimal exponent of the leading digit tells overflow from underflow
  // before the digits are converted.
  const int64_t leading = static_cast<int64_t>(number->digits.size()) - 1 + number->exponent;
  if (leading > 308) Raise(kOverflow);
  if (leading < -400) return 0.0;
  std::string ascii = number->digits;
  ascii += 'e';
  ascii += std::to_string(number->exponent);
  double value = 0;
  const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    if (leading > 0) Raise(kOverflow);
    return 0.0;
  }
  return number->negative ? -value : value;
}

std::optional<Decimal> ParseDecimal(std::u16string_view text) {
  std::optional<ScannedNumber> number = ScanNumber(text);
  if (!number) return std::nullopt;
  return DecimalFromDigits(number->negative, std::move(number->digits), number->exponent);
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

std::optional<double> ParseDate(std::u16string_view text) {
  DateReader reader(text);
  DateTimeParts parts;
  reader.SkipSpaces();
  const bool have_date = ReadDatePart(reader, parts);
  reader.SkipSpaces();
  bool have_time = false;
  if (!reader.AtEnd()) {
    if (!ReadTimePart(reader, parts)) return std::nullopt;
    have_time = true;
    reader.SkipSpaces();
  }
  if (!reader.AtEnd() || !(have_date || have_time)) return std::nullopt;
  return DateSerial(parts.year, parts.month, parts.day, parts.hour, parts.minute, parts.second);
}

std::optional<double> DateSerial(int year, int month, int day, int hour, int minute, int second) {
  if (year < 100 || year > 9999 || month < 1 || month > 12) return std::nullopt;
  if (day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return std::nullopt;
  }
  const int64_t serial_day = DaysFromCivil(year, month, day) + kUnixEpochDay;
  const double time = (hour * 3600 + minute * 60 + second) / double{kSecondsPerDay};
  // Before 12/30/1899 the time still counts forward from midnight, away
  // from zero.
  const auto whole = static_cast<double>(serial_day);
  return serial_day < 0 ? whole - time : whole + time;
}

void UseDecimalSeparator(std::u16string& out, size_t from, char16_t separator) {
  if (separator == u'.') return;
  std::replace(out.begin() + static_cast<std::ptrdiff_t>(from), out.end(), u'.', separator);
}

}  // namespace dudUdudADOD::automation
