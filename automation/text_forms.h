// Text forms of numbers and dates, and their parsing: the en-US forms that
// conversions.h describes. No locale machinery: the same text on every host.
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

void AppendDouble(std::u16string& out, double value);    // 15 significant digits
void AppendSingle(std::u16string& out, float value);     // 7 significant digits
void AppendCurrency(std::u16string& out, int64_t scaled);  // value x 10000
// Raises 5 for a date outside the platform's range (year 100 to 9999).
void AppendDate(std::u16string& out, double date);
void AppendDecimal(std::u16string& out, const Decimal& value);

// Parses a number as CDbl parses text: optional sign, digits, one ".",
// exponent, surrounding spaces; "&H" and "&O" forms. nullopt for anything
// else.
std::optional<double> ParseNumber(std::u16string_view text);
// Parses "M/D/YYYY", "H:MM[:SS] [AM|PM]" or both; nullopt when it is no date.
std::optional<double> ParseDate(std::u16string_view text);
// Builds a date serial from its parts; nullopt when they are out of range.
std::optional<double> DateSerial(int year, int month, int day, int hour, int minute, int second);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_TEXT_FORMS_H_
