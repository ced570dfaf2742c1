#include "cli/script/literals.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include "automation/integer_types.h"
#include "automation/text_forms.h"
#include "automation/utf8.h"

namespace dudUdudADOD::cli {

using automation::VariantImage;

namespace {

[[noreturn]] void Fail(const Token& token, const std::string& message) {
  throw ScriptError(token.position, message);
}

// The literal as written, cut to a readable length.
std::string Written(const Token& token, bool negative) {
  std::string text = negative ? "-" + token.text : token.text;
  if (token.suffix != 0) text += token.suffix;
  const std::string quoted = Quote(text);
  return quoted.substr(1, quoted.size() - 2);
}

// Whole decimal digits; nullopt past the range of int64.
std::optional<int64_t> ParseWhole(const std::string& digits, bool negative) {
  uint64_t value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  const uint64_t limit = uint64_t{std::numeric_limits<int64_t>::max()} + (negative ? 1 : 0);
  if (value > limit) return std::nullopt;
  return negative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
}

double ParseDouble(const Token& token, bool negative) {
  const std::string& text = token.text;
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) value = std::strtod(text.c_str(), nullptr);
  if (std::isinf(value)) Fail(token, "the number " + Written(token, negative) + " is too large");
  return negative ? -value : value;
}

float ParseSingle(const Token& token, bool negative) {
  const std::string& text = token.text;
  float value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) value = std::strtof(text.c_str(), nullptr);
  if (std::isinf(value)) {
    Fail(token, "the number " + Written(token, negative) + " does not fit a Single");
  }
  return negative ? -value : value;
}

// The first `keep` digits as a number, rounded half to even by the digits
// dropped after them; nullopt past 19 digits.
std::optional<uint64_t> RoundDigits(const std::string& digits, int64_t keep) {
  if (keep > 19) return std::nullopt;
  if (keep < 0) return 0;
  const size_t kept = std::min(static_cast<size_t>(keep), digits.size());
  uint64_t value = 0;
  for (size_t i = 0; i < kept; ++i) value = value * 10 + static_cast<uint64_t>(digits[i] - '0');
  if (kept == digits.size()) return value;
  const char dropped = digits[kept];
  const bool rest = digits.find_first_not_of('0', kept + 1) != std::string::npos;
  if (dropped > '5' || (dropped == '5' && (rest || value % 2 == 1))) ++value;
  return value;
}

// value x 10000, exactly, from text such as "922337203685477.5807" or "1E3".
std::optional<int64_t> ScaledCurrency(const std::string& text, bool negative) {
  const size_t e = text.find_first_of("Ee");
  std::string digits = text.substr(0, e);
  int64_t shift = 4;  // Currency keeps four decimals
  if (const size_t point = digits.find('.'); point != std::string::npos) {
    shift -= static_cast<int64_t>(digits.size() - point - 1);
    digits.erase(point, 1);
  }
  if (e != std::string::npos) {
    shift += std::clamp(std::strtol(text.c_str() + e + 1, nullptr, 10), -100000L, 100000L);
  }
  const size_t nonzero = digits.find_first_not_of('0');
  if (nonzero == std::string::npos) return 0;
  digits.erase(0, nonzero);
  const int64_t keep = static_cast<int64_t>(digits.size()) + shift;
  if (keep > 19) return std::nullopt;
  if (shift > 0) digits.append(static_cast<size_t>(shift), '0');
  const std::optional<uint64_t> magnitude = RoundDigits(digits, keep);
  const uint64_t limit = uint64_t{std::numeric_limits<int64_t>::max()} + (negative ? 1 : 0);
  if (!magnitude || *magnitude > limit) return std::nullopt;
  return negative ? static_cast<int64_t>(0 - *magnitude) : static_cast<int64_t>(*magnitude);
}

VariantImage WholeLiteral(const Token& token, bool negative) {
  const bool fraction = token.text.find_first_of(".Ee") != std::string::npos;
  const char suffix = token.suffix;
  if (fraction && (suffix == '%' || suffix == '&' || suffix == '^')) {
    Fail(token, "the number " + Written(token, negative) +
                    " must be a whole number written "
                    "with digits only for its suffix " +
                    std::string(1, suffix));
  }
  const std::optional<int64_t> whole = fraction ? std::nullopt : ParseWhole(token.text, negative);
  const bool fits16 = whole && *whole >= INT16_MIN && *whole <= INT16_MAX;
  const bool fits32 = whole && *whole >= INT32_MIN && *whole <= INT32_MAX;
  if (suffix == '%' && !fits16) {
    Fail(token,
         "the number " + Written(token, negative) + " does not fit an Integer (-32768 to 32767)");
  }
  if (suffix == '&' && !fits32) {
    Fail(token, "the number " + Written(token, negative) +
                    " does not fit a Long (-2147483648 to 2147483647)");
  }
  if (suffix == '^') {
    if (!whole) {
      Fail(token, "the number " + Written(token, negative) +
                      " does not fit a LongLong (-9223372036854775808 to 9223372036854775807)");
    }
    return automation::IntegerVariant(automation::vbLongLong, automation::WholeNumber::Of(*whole));
  }
  // Past the checks above, a suffix means the number fits its type.
  const int64_t value = whole.value_or(0);
  if (suffix == '%' || (suffix == 0 && fits16)) {
    return VariantImage::Integer(static_cast<int16_t>(value));
  }
  if (suffix == '&' || (suffix == 0 && fits32)) {
    return VariantImage::Long(static_cast<int32_t>(value));
  }
  return VariantImage::Double(ParseDouble(token, negative));
}

VariantImage RadixLiteral(const Token& token) {
  const char radix = static_cast<char>(token.text[1] & ~0x20);
  const bool hex = radix == 'H' || radix == 'X';
  // A LongLong's pattern may use all 64 bits (&HFFFFFFFFFFFFFFFF^ is -1).
  const bool wide = token.suffix == '^';
  const uint64_t most = wide ? ~uint64_t{0} : 0xFFFFFFFF;
  const uint64_t base = hex ? 16 : 8;
  uint64_t value = 0;
  for (size_t i = 2; i < token.text.size(); ++i) {
    const char c = token.text[i];
    const int digit = c <= '9' ? c - '0' : (c & ~0x20) - 'A' + 10;
    if (value > (most - static_cast<uint64_t>(digit)) / base) {
      Fail(token,
           "the number " + Written(token, false) + " is too large: " +
               (wide ? "at most 64 bits (&HFFFFFFFFFFFFFFFF)" : "at most 32 bits (&HFFFFFFFF)"));
    }
    value = value * base + static_cast<uint64_t>(digit);
  }
  if (token.suffix != 0 && token.suffix != '%' && token.suffix != '&' && !wide) {
    Fail(token, "a hexadecimal or octal number takes only the suffix %, & or ^");
  }
  if (wide) {
    return automation::IntegerVariant(automation::vbLongLong,
                                      automation::WholeNumber::Of(static_cast<int64_t>(value)));
  }
  if (token.suffix == '%' && value > 0xFFFF) {
    Fail(token, "the number " + Written(token, false) + " does not fit an Integer (&HFFFF)");
  }
  if (token.suffix != '&' && value <= 0xFFFF) {
    return VariantImage::Integer(static_cast<int16_t>(static_cast<uint16_t>(value)));
  }
  return VariantImage::Long(static_cast<int32_t>(static_cast<uint32_t>(value)));
}

}  // namespace

VariantImage NumberLiteral(const Token& token, bool negative) {
  if (IsRadixNumber(token.text)) return RadixLiteral(token);
  switch (token.suffix) {
    case '!':
      return VariantImage::Single(ParseSingle(token, negative));
    case '#':
      return VariantImage::Double(ParseDouble(token, negative));
    case '@': {
      const std::optional<int64_t> scaled = ScaledCurrency(token.text, negative);
      if (!scaled) {
        Fail(token, "the number " + Written(token, negative) +
                        " does not fit a Currency (-922337203685477.5808 to "
                        "922337203685477.5807)");
      }
      return VariantImage::Currency(*scaled);
    }
    default:
      return WholeLiteral(token, negative);
  }
}

VariantImage DateLiteral(const Token& token) {
  const std::optional<double> date = automation::ParseDate(automation::FromUtf8(token.text));
  if (!date) {
    Fail(token, Quote("#" + token.text + "#") +
                    " is not a date: write #M/D/YYYY#, #H:MM:SS AM# or both, "
                    "as in #1/2/2000 3:04:05 AM#");
  }
  return VariantImage::Date(*date);
}

}  // namespace dudUdudADOD::cli
