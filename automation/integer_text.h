// Whole numbers as text: signed decimal digits, "-" before a negative
// value, for every integer type up to ULong's "18446744073709551615". The
// values walk calls these once per element: they count the digits first and
// write two at a time (digits.h), never through locale machinery.
#ifndef DUD_AUTOMATION_INTEGER_TEXT_H_
#define DUD_AUTOMATION_INTEGER_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "automation/digits.h"

namespace dudUdudADOD::automation {

// Signed decimal digits, "-" before a negative value. Counts the digits first
// and writes two at a time: the values walk calls this once per element.
void AppendInteger(std::u16string& out, int64_t value);
// The same digits of a 32-bit value written at `at`, which must have room for
// 17 characters whatever the value (the digits go out in one 16-character
// move; what lies past the text is scratch). Returns the end of the text.
// No branch depends on the value, so a long run of random numbers costs no
// mispredictions. For loops that size their output once.
char16_t* WriteInteger32(char16_t* at, int32_t value);
// How many characters AppendInteger writes for `value`.
size_t IntegerWidth(int64_t value);
// The digits AppendInteger writes, at `at`, which has room for
// IntegerWidth(value) characters (20 always do); returns their end.
inline char16_t* WriteInteger(char16_t* at, int64_t value) {
  const uint64_t magnitude = Magnitude(value);
  if (value < 0) *at++ = u'-';
  char16_t* end = at + CountDigits(magnitude);
  WriteDigitsBackwards(end, magnitude);
  return end;
}
// "-" when `negative`, then the decimal digits of `magnitude`: the form in
// which every integer type's value fits, up to 2^64 - 1 (integer_types.h).
void AppendSignAndMagnitude(std::u16string& out, bool negative, uint64_t magnitude);
// The same text written at `at`, which has room for it (21 characters always
// do); returns its end.
char16_t* WriteSignAndMagnitude(char16_t* at, bool negative, uint64_t magnitude);
// How many characters those two write.
size_t SignAndMagnitudeWidth(bool negative, uint64_t magnitude);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_INTEGER_TEXT_H_
