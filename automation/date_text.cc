#include "automation/date_text.h"

#include <cmath>
#include <cstdint>

#include "automation/digits.h"
#include "automation/runtime_error.h"

namespace dudUdudADOD::automation {

namespace {

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

}  // namespace dudUdudADOD::automation
