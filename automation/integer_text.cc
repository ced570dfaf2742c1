#include "automation/integer_text.h"

#include <cstring>

#include "automation/digits.h"

namespace dudUdudADOD::automation {

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

}  // namespace dudUdudADOD::automation
