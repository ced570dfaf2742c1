// Text forms of numbers and dates, and their parsing: the en-US forms that
// conversions.h describes. No locale machinery: the same text on every host.
//
// Double and Single ("P" significant digits: 15 for Double, 7 for Single):
//   The value is rounded to P significant digits; X is the decimal exponent
//   of the rounded value (1234.5 has X = 3). When -4 <= X < P the fixed form
//   is used, otherwise the exponent form. Trailing zeros of the fraction and
//   a trailing "." are dropped; a value below 1 keeps its "0" ("0.5"). The
//   exponent form is mantissa, "E", sign, at least two digits: "1E+20",
//   "1E-10", "1.5E-07", "1.23456789012346E+15". Fixed: "100000", "0.0001",
//   "123456789012345". Negative zero prints "0". NaN and the infinities,
//   which the platform never makes but raw bytes can hold, print "NaN",
//   "Inf" and "-Inf".
// Currency: the integer part, then "." and up to 4 decimals without trailing
//   zeros ("1.5", "-0.0001", "922337203685477.5807").
// Date: serial days since 12/30/1899; the fraction is the time of day (for a
//   negative serial its absolute value is). Rounded to the nearest second.
//   "M/D/YYYY" (year without leading zeros), "H:MM:SS AM" (12-hour clock),
//   or both separated by a space. Only the date when the time is midnight;
//   only the time when the date is 12/30/1899, so serial 0 is "12:00:00 AM".
// Decimal: all digits of the scaled value, no trailing zeros after the point,
//   "-" before a non-zero negative value ("-1.5", "0.0000000000000000000000000001").
#ifndef DUD_AUTOMATION_TEXT_FORMS_H_
#define DUD_AUTOMATION_TEXT_FORMS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "automation/variant.h"

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
char16_t* WriteInteger(char16_t* at, int64_t value);
// "-" when `negative`, then the decimal digits of `magnitude`: the form in
// which every integer type's value fits, up to 2^64 - 1 (integer_types.h).
void AppendSignAndMagnitude(std::u16string& out, bool negative, uint64_t magnitude);
// The same text written at `at`, which has room for it (21 characters always
// do); returns its end.
char16_t* WriteSignAndMagnitude(char16_t* at, bool negative, uint64_t magnitude);
// How many characters those two write.
size_t SignAndMagnitudeWidth(bool negative, uint64_t magnitude);

void AppendDouble(std::u16string& out, double value);      // 15 significant digits
void AppendSingle(std::u16string& out, float value);       // 7 significant digits
void AppendCurrency(std::u16string& out, int64_t scaled);  // value x 10000
// Raises 5 for NaN or a date outside the platform's range (year 100 to 9999,
// checked after rounding to the second).
void AppendDate(std::u16string& out, double date);
// Raises 5 for a scale above 28.
void AppendDecimal(std::u16string& out, const Decimal& value);
// Puts `separator` for every point written into out[from..]: the point the
// formatters above write, as the platform's texts show it in another locale.
void UseDecimalSeparator(std::u16string& out, size_t from, char16_t separator);

// Parses a number as CDbl parses text: surrounding spaces, optional sign,
// digits with at most one ".", an optional exponent ("E" or "e", optional
// sign, digits); or "&H" followed by hex digits, "&O" by octal digits, read
// as a 32-bit Long ("&HFFFFFFFF" is -1). nullopt for anything else. Raises 6
// for a number beyond Double's range or an "&H"/"&O" value beyond 32 bits; a
// number too small for Double reads as 0.
std::optional<double> ParseNumber(std::u16string_view text);
// The same grammar read exactly into a Decimal: at most 28 digits after the
// point and at most 29 digits in all (what 96 bits hold), rounded half to
// even beyond that. Raises 6 when the integer part does not fit.
std::optional<Decimal> ParseDecimal(std::u16string_view text);
// Rounds to at most `scale` digits after the point, halves to even. A value
// that already has fewer keeps its own scale. Raises 5 for a value whose
// scale is above 28.
Decimal RoundDecimal(const Decimal& value, uint8_t scale);

// Parses "M/D/YYYY", "H:MM[:SS] [AM|PM]" or both (date first, spaces
// between), with spaces around. A one- or two-digit year 00-29 means 20xx,
// 30-99 means 19xx. Without AM/PM the hour runs 0 to 23. nullopt when it is
// no valid date.
std::optional<double> ParseDate(std::u16string_view text);
// Builds a date serial from its parts; nullopt when a part is out of range
// (year 100 to 9999, a real day of the month, 0-23, 0-59, 0-59).
std::optional<double> DateSerial(int year, int month, int day, int hour, int minute, int second);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_TEXT_FORMS_H_
