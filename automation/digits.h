// Decimal digits as the formatters of text_forms.h write them: the "00" to
// "99" pair tables, digit counts and digits written backwards from their
// end, two at a time. No locale machinery: the same text on every host.
#ifndef DUD_AUTOMATION_DIGITS_H_
#define DUD_AUTOMATION_DIGITS_H_

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

namespace dudUdudADOD::automation {

// "00" to "99": one division by 100 yields two digits.
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// 10^0 to 10^19, every power of ten that a uint64_t holds.
inline constexpr auto kPowersOf10 = [] {
  std::array<uint64_t, 20> powers{};
  uint64_t power = 1;
  for (uint64_t& p : powers) {
    p = power;
    power *= 10;  // wraps after the last entry, unused
  }
  return powers;
}();

// "00".."99" as two UTF-16 units each, so that a pair is one 4-byte store.
inline constexpr auto kDigitPairs16 = [] {
  std::array<std::array<char16_t, 2>, 100> pairs{};
  for (size_t i = 0; i < 100; ++i) {
    pairs[i] = {static_cast<char16_t>(kDigitPairs[2 * i]),
                static_cast<char16_t>(kDigitPairs[2 * i + 1])};
  }
  return pairs;
}();

// The same pairs as 32-bit words, to be stored whole.
inline constexpr auto kDigitPairWords = [] {
  std::array<uint32_t, 100> words{};
  for (size_t i = 0; i < 100; ++i) words[i] = std::bit_cast<uint32_t>(kDigitPairs16[i]);
  return words;
}();

// The number of decimal digits of v; 1 for 0. Inline, like the writer below:
// the walks call them for every element, and a call costs as much as the work.
inline int CountDigits(uint64_t v) {
  // 0 has one digit, like 1; and since every power of ten above 1 is even,
  // setting the low bit changes no other count.
  v |= 1;
  // bit_width x log10(2) (1233 / 4096) is the digit count or one less.
  const auto bits = static_cast<int>(std::bit_width(v));
  const int estimate = (bits * 1233) >> 12;
  return estimate + (v >= kPowersOf10[static_cast<size_t>(estimate)] ? 1 : 0);
}

// Writes the digits of v so that the last one lands just before `end`. The
// part below 2^32 is done in 32-bit arithmetic, the cheaper division.
inline void WriteDigitsBackwards(char16_t* end, uint64_t v) {
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

// The digits of v appended to `out`.
void AppendUnsigned(std::u16string& out, uint64_t v);

// |v| without overflow for INT64_MIN.
inline uint64_t Magnitude(int64_t v) {
  return v < 0 ? uint64_t{0} - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

// The characters the scanners of numbers and dates take.
inline bool IsSpace(char16_t c) { return c == u' ' || c == u'\t'; }
inline bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_DIGITS_H_
