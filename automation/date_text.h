// Dates as text and back.
//
// Date: serial days since 12/30/1899; the fraction is the time of day (for a
//   negative serial its absolute value is). Rounded to the nearest second.
//   "M/D/YYYY" (year without leading zeros), "H:MM:SS AM" (12-hour clock),
//   or both separated by a space. Only the date when the time is midnight;
//   only the time when the date is 12/30/1899, so serial 0 is "12:00:00 AM".
#ifndef DUD_AUTOMATION_DATE_TEXT_H_
#define DUD_AUTOMATION_DATE_TEXT_H_

#include <optional>
#include <string>
#include <string_view>

namespace dudUdudADOD::automation {

// Raises 5 for NaN or a date outside the platform's range (year 100 to 9999,
// checked after rounding to the second).
void AppendDate(std::u16string& out, double date);

// Parses "M/D/YYYY", "H:MM[:SS] [AM|PM]" or both (date first, spaces
// between), with spaces around. A one- or two-digit year 00-29 means 20xx,
// 30-99 means 19xx. Without AM/PM the hour runs 0 to 23. nullopt when it is
// no valid date.
std::optional<double> ParseDate(std::u16string_view text);
// Builds a date serial from its parts; nullopt when a part is out of range
// (year 100 to 9999, a real day of the month, 0-23, 0-59, 0-59).
std::optional<double> DateSerial(int year, int month, int day, int hour, int minute, int second);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_DATE_TEXT_H_
