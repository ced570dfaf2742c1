#include "automation/number_scan.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <system_error>

#include "automation/decimal_text.h"
#include "automation/digits.h"
#include "automation/runtime_error.h"

namespace dudUdudADOD::automation {

namespace {

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

}  // namespace

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

}  // namespace dudUdudADOD::automation
