#include "automation/text_forms.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "automation/runtime_error.h"
#include "testutil/error_of.h"
#include "testutil/golden.h"

namespace dudUdudADOD::automation {
namespace {

using testutil::ErrorOf;
using testutil::Visible;

template <typename T, typename Value>
std::u16string TextOf(void (*append)(std::u16string&, T), const Value& value) {
  std::u16string out;
  append(out, value);
  return out;
}

Decimal Dec(uint64_t lo, uint8_t scale, bool negative = false, uint32_t hi = 0) {
  return Decimal{scale, negative, hi, lo};
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kSecond = 1.0 / 86400;

TEST(AppendIntegerTest, AgreesWithToStringAtEveryDecadesEdgeAndAppends) {
  // The digit count is computed before any digit is written: an off-by-one
  // there shows only at the edges of each decade.
  std::vector<int64_t> values = {INT64_MAX, INT64_MIN};
  for (int64_t power = 1;; power *= 10) {
    values.insert(values.end(), {power - 1, power, power + 1, -power, -(power - 1)});
    if (power > INT64_MAX / 10) break;  // 10^18, the last power of ten that fits
  }
  for (int64_t v : values) {
    const std::string expected = std::to_string(v);
    EXPECT_EQ(TextOf(AppendInteger, v), std::u16string(expected.begin(), expected.end()));
  }
  std::u16string out = u"x=";
  AppendInteger(out, -42);
  AppendInteger(out, 0);
  EXPECT_EQ(out, u"x=-420");
}

TEST(WriteInteger32Test, WritesWhatAppendIntegerDoesAndStaysInItsRoom) {
  // The digits go out padded and are then cut to the width: a wrong width
  // or offset shows at the decade edges, a stray store past the room in the
  // guard characters.
  std::vector<int32_t> values = {INT32_MAX, INT32_MIN, 0};
  for (int64_t power = 1; power <= INT32_MAX; power *= 10) {
    for (const int64_t v : {power - 1, power, power + 1}) {
      values.push_back(static_cast<int32_t>(v));
      values.push_back(static_cast<int32_t>(-v));
    }
  }
  for (const int32_t v : values) {
    std::u16string buffer(40, u'#');
    char16_t* end = WriteInteger32(buffer.data() + 4, v);
    const auto length = static_cast<size_t>(end - (buffer.data() + 4));
    EXPECT_EQ(buffer.substr(4, length), TextOf(AppendInteger, v)) << v;
    EXPECT_EQ(buffer.substr(0, 4), u"####") << v;
    EXPECT_EQ(buffer.substr(4 + 17), std::u16string(40 - 4 - 17, u'#')) << v;
  }
}

TEST(AppendFloatingTest, FifteenOrSevenSignificantDigitsFixedOrExponent) {
  const struct {
    double value;
    const char16_t* text;
  } doubles[] = {
      {-0.0, u"0"},
      {-1.5, u"-1.5"},
      {123456789012345, u"123456789012345"},
      {1e15, u"1E+15"},
      {1234567890123456, u"1.23456789012346E+15"},
      {999999999999999.5, u"1E+15"},  // the exponent of the rounded value decides
      {0.0001, u"0.0001"},
      {0.00001, u"1E-05"},
      {2.0 / 3, u"0.666666666666667"},
      {0.1 + 0.2, u"0.3"},
      {1e100, u"1E+100"},
      {std::numeric_limits<double>::quiet_NaN(), u"NaN"},
      {kInf, u"Inf"},
      {-kInf, u"-Inf"},
  };
  for (const auto& c : doubles) EXPECT_EQ(TextOf(AppendDouble, c.value), c.text) << c.value;
  const struct {
    float value;
    const char16_t* text;
  } singles[] = {
      {0.1f, u"0.1"},  // not the float's binary 0.100000001490116
      {-0.0f, u"0"},
      {1234567.0f, u"1234567"},
      {12345678.0f, u"1.234568E+07"},
      {std::numeric_limits<float>::max(), u"3.402823E+38"},
      {std::numeric_limits<float>::quiet_NaN(), u"NaN"},
  };
  for (const auto& c : singles) EXPECT_EQ(TextOf(AppendSingle, c.value), c.text) << c.value;
}

// printf's %g as to_chars makes it, correctly rounded from the exact binary
// value but slowly: what the fast path must reproduce for every finite
// non-zero value.
template <typename Float>
std::u16string GeneralText(Float value, int precision) {
  char buffer[40];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision);
  std::u16string text;
  for (const char* p = buffer; p != result.ptr; ++p) text += *p == 'e' ? u'E' : char16_t(*p);
  return text;
}

// Values whose rounding is hard to get right: exact ties at the last kept
// digit (odd multiples of small powers of two have long decimal expansions
// ending in 5), carries into a new decade next to every power of ten, the
// ends of the range, and everything in between at random.
template <typename Float, typename Bits>
std::vector<Float> AwkwardValues(size_t count, uint64_t seed) {
  using Limits = std::numeric_limits<Float>;
  std::mt19937_64 random(seed);
  std::vector<Float> values = {
      Limits::max(), Limits::min(),     Limits::denorm_min(),     Limits::epsilon(), Float(0.5),
      Float(2.5e-5), Float(1e15 - 0.5), Float(999999999999999.5), Float(9999999.5),  Float(0.15)};
  for (int k = Limits::min_exponent10 - Limits::max_digits10; k <= Limits::max_exponent10; ++k) {
    const auto power = static_cast<Float>(std::pow(10.0L, k));
    Float below = power;
    Float above = power;
    for (int step = 0; step < 8; ++step) {
      values.insert(values.end(), {below, above});
      below = std::nextafter(below, Float(0));
      above = std::nextafter(above, Limits::infinity());
    }
  }
  std::uniform_real_distribution<double> moderate(-1e6, 1e6);
  while (values.size() < count) {
    switch (random() % 5) {
      case 0: {  // any finite bit pattern
        const auto value = std::bit_cast<Float>(static_cast<Bits>(random()));
        if (std::isfinite(value)) values.push_back(value);
        break;
      }
      case 1:
        values.push_back(static_cast<Float>(moderate(random)));
        break;
      case 2:  // integers of up to 18 digits
        values.push_back(static_cast<Float>(random() % 1000000000000000000));
        break;
      case 3: {  // odd multiples of 2^-k, and the digits of ties written out
        const auto odd = static_cast<double>(random() % (1 << 24) | 1);
        values.push_back(static_cast<Float>(std::ldexp(odd, -static_cast<int>(random() % 80))));
        const auto digits = static_cast<double>(random() % 1000000000000000);
        values.push_back(static_cast<Float>(digits * 10 + 5));
        values.push_back(static_cast<Float>(digits + 0.5));
        break;
      }
      default:  // decades from the tiniest to the largest
        values.push_back(static_cast<Float>(
            moderate(random) * std::pow(10.0, static_cast<int>(random() % 600) - 300)));
        break;
    }
  }
  for (Float& value : values) {
    if (random() % 2 != 0) value = -value;
  }
  return values;
}

template <typename Float>
void ExpectGeneralTextFor(const std::vector<Float>& values, void (*append)(std::u16string&, Float),
                          int precision) {
  int failures = 0;
  for (const Float value : values) {
    if (value == 0 || !std::isfinite(value)) continue;
    std::u16string out = u"|";  // appends, leaving what is there
    append(out, value);
    const std::u16string expected = u"|" + GeneralText(value, precision);
    if (out != expected) {
      ADD_FAILURE() << std::hexfloat << value << ": " << Visible(out) << " instead of "
                    << Visible(expected);
      if (++failures == 10) return;
    }
  }
}

TEST(AppendFloatingTest, AgreesWithCorrectlyRoundedGeneralFormat) {
  ExpectGeneralTextFor(AwkwardValues<double, uint64_t>(1000000, 20240611), AppendDouble, 15);
  ExpectGeneralTextFor(AwkwardValues<float, uint32_t>(300000, 20240612), AppendSingle, 7);
}

TEST(AppendCurrencyTest, UpToFourDecimalsWithoutTrailingZeros) {
  const struct {
    int64_t scaled;
    const char16_t* text;
  } cases[] = {{0, u"0"},
               {-1, u"-0.0001"},
               {100, u"0.01"},
               {1230, u"0.123"},
               {-50000, u"-5"},
               {12345, u"1.2345"},
               {INT64_MAX, u"922337203685477.5807"},
               {INT64_MIN, u"-922337203685477.5808"}};
  for (const auto& c : cases) EXPECT_EQ(TextOf(AppendCurrency, c.scaled), c.text) << c.scaled;
}

TEST(AppendDateTest, DateTimeOrBothFromYear100To9999) {
  const struct {
    double serial;
    const char16_t* text;
  } cases[] = {
      {0, u"12:00:00 AM"},
      {0.5, u"12:00:00 PM"},
      {-0.5, u"12:00:00 PM"},             // before serial 1 the date is still 12/30/1899
      {-1.25, u"12/29/1899 6:00:00 AM"},  // negative: the fraction counts forward
      {60, u"2/28/1900"},
      {61, u"3/1/1900"},
      {36527 + 11045 * kSecond, u"1/2/2000 3:04:05 AM"},
      {-657434, u"1/1/100"},
      {2958465 + 86399 * kSecond, u"12/31/9999 11:59:59 PM"},
      {1.5 + 0.4 * kSecond, u"12/31/1899 12:00:00 PM"},
      {1.5 + 0.6 * kSecond, u"12/31/1899 12:00:01 PM"},
      {1 - 0.2 * kSecond, u"12/31/1899"},  // rounds up to the next midnight
      {-1.9999999, u"12:00:00 AM"},        // 12/29 23:59:59.99 rounds to serial 0
  };
  for (const auto& c : cases) EXPECT_EQ(TextOf(AppendDate, c.serial), c.text) << c.serial;
  for (double serial : {-657435.0, 2958466.0, 2958465 + 86399.8 * kSecond, std::nan(""), kInf}) {
    EXPECT_EQ(ErrorOf([&] { TextOf(AppendDate, serial); }), kInvalidArgument) << serial;
  }
}

TEST(AppendDecimalTest, ScaledDigitsWithoutTrailingZeros) {
  const struct {
    Decimal value;
    const char16_t* text;
  } cases[] = {
      {Dec(0, 5, true), u"0"},  // negative zero
      {Dec(100, 2), u"1"},
      {Dec(1, 28), u"0.0000000000000000000000000001"},
      {Dec(1000000000000000001, 0), u"1000000000000000001"},  // inner zero chunk
      {Dec(0, 0, false, 1), u"18446744073709551616"},
      {Dec(UINT64_MAX, 0, false, UINT32_MAX), u"79228162514264337593543950335"},
      {Dec(UINT64_MAX, 28, true, UINT32_MAX), u"-7.9228162514264337593543950335"},
  };
  for (const auto& c : cases) EXPECT_EQ(TextOf(AppendDecimal, c.value), c.text);
  EXPECT_EQ(ErrorOf([] { TextOf(AppendDecimal, Dec(1, 29)); }), kInvalidArgument);
}

TEST(ParseNumberTest, ReadsNumbersRejectsTheRestAndRaisesBeyondRange) {
  const struct {
    const char16_t* text;
    double value;
  } cases[] = {
      {u"  42  ", 42},     {u"-1.5", -1.5},
      {u"+2", 2},          {u".5", 0.5},
      {u"5.", 5},          {u"000123", 123},
      {u"1e-2", 0.01},     {u"1.5E+2", 150},
      {u"1E-400", 0},      {u"&hff", 255},
      {u"&HFFFFFFFF", -1}, {u"&H7FFFFFFF", 2147483647},
      {u"&O17", 15},       {u"123456789012345678", 123456789012345678.0},
  };
  for (const auto& c : cases) {
    const auto value = ParseNumber(c.text);
    ASSERT_TRUE(value.has_value()) << Visible(c.text);
    EXPECT_EQ(*value, c.value) << Visible(c.text);
  }
  for (const char16_t* text : {u"", u"  ", u"abc", u"1.2.3", u"1e", u"1e+", u"&H", u"&HG", u"&O8",
                               u"1 2", u"--1", u"+", u".", u"1,000", u"12abc"}) {
    EXPECT_FALSE(ParseNumber(text).has_value()) << Visible(text);
  }
  for (const char16_t* text : {u"1E400", u"-1E309", u"&H100000000"}) {
    EXPECT_EQ(ErrorOf([&] { ParseNumber(text); }), kOverflow) << Visible(text);
  }
}

TEST(ParseDecimalTest, ReadsExactlyAndRoundsBeyondTwentyEightPlaces) {
  const struct {
    const char16_t* text;
    const char16_t* value;  // as AppendDecimal writes it
  } cases[] = {
      {u"-0.0001", u"-0.0001"},
      {u"79228162514264337593543950335", u"79228162514264337593543950335"},
      {u"1E28", u"10000000000000000000000000000"},
      {u"2.5E-3", u"0.0025"},
      {u"0.00000000000000000000000000005", u"0"},  // half of the last place, to even
      {u"0.00000000000000000000000000015", u"0.0000000000000000000000000002"},
      {u"1.23456789012345678901234567890123", u"1.2345678901234567890123456789"},
      {u"9.99999999999999999999999999999999", u"10"},  // 29 nines do not fit 96 bits
      {u"&HFF", u"255"},
  };
  for (const auto& c : cases) {
    const auto value = ParseDecimal(c.text);
    ASSERT_TRUE(value.has_value()) << Visible(c.text);
    EXPECT_EQ(TextOf(AppendDecimal, *value), c.value) << Visible(c.text);
  }
  EXPECT_FALSE(ParseDecimal(u"abc").has_value());
  EXPECT_EQ(ErrorOf([] { ParseDecimal(u"79228162514264337593543950336"); }), kOverflow);
  EXPECT_EQ(ErrorOf([] { ParseDecimal(u"1E29"); }), kOverflow);
}

TEST(RoundDecimalTest, HalvesGoToEvenAndATailBreaksTheTie) {
  const struct {
    Decimal value;
    uint8_t scale;
    const char16_t* text;
  } cases[] = {{Dec(35, 1), 0, u"4"},       {Dec(25, 1, true), 0, u"-2"}, {Dec(251, 2), 0, u"3"},
               {Dec(25000001, 7), 0, u"3"}, {Dec(1245, 3), 2, u"1.24"},   {Dec(12, 1), 4, u"1.2"}};
  for (const auto& c : cases) {
    EXPECT_EQ(TextOf(AppendDecimal, RoundDecimal(c.value, c.scale)), c.text);
  }
}

TEST(DateSerialTest, CountsDaysFrom30December1899) {
  EXPECT_EQ(DateSerial(1899, 12, 30, 0, 0, 0), 0.0);
  EXPECT_EQ(DateSerial(1900, 3, 1, 0, 0, 0), 61.0);
  EXPECT_EQ(DateSerial(9999, 12, 31, 0, 0, 0), 2958465.0);
  EXPECT_EQ(DateSerial(1899, 12, 29, 6, 0, 0), -1.25);
  EXPECT_TRUE(DateSerial(2000, 2, 29, 23, 59, 59).has_value());
  for (const auto& bad : {std::array{1900, 2, 29, 0, 0, 0}, std::array{99, 12, 31, 0, 0, 0},
                          std::array{10000, 1, 1, 0, 0, 0}, std::array{2000, 13, 1, 0, 0, 0},
                          std::array{2000, 4, 31, 0, 0, 0}, std::array{2000, 1, 1, 24, 0, 0},
                          std::array{2000, 1, 1, 0, 60, 0}, std::array{2000, 1, 1, 0, 0, 60}}) {
    EXPECT_FALSE(DateSerial(bad[0], bad[1], bad[2], bad[3], bad[4], bad[5]).has_value())
        << bad[0] << "-" << bad[1] << "-" << bad[2];
  }
}

TEST(ParseDateTest, ReadsDateTimeOrBothAndWhatAppendDateWritesAndNothingElse) {
  const struct {
    const char16_t* text;
    double serial;
  } cases[] = {
      {u"  01/02/2000  ", 36527},
      {u"1/2/00", 36527},
      {u"1/1/29", *DateSerial(2029, 1, 1, 0, 0, 0)},
      {u"1/1/30", *DateSerial(1930, 1, 1, 0, 0, 0)},
      {u"1/1/100", -657434},
      {u"3:04:05 AM", 11045 * kSecond},
      {u"3:04 pm", (15 * 3600 + 240) * kSecond},
      {u"12:00 AM", 0},
      {u"12:00PM", 0.5},
      {u"15:30", 0.5 + 12600 * kSecond},
      {u"1/2/2000 3:04:05 PM", 36527 + (15 * 3600 + 245) * kSecond},
  };
  for (const auto& c : cases) {
    const auto serial = ParseDate(c.text);
    ASSERT_TRUE(serial.has_value()) << Visible(c.text);
    EXPECT_DOUBLE_EQ(*serial, c.serial) << Visible(c.text);
  }
  for (double serial :
       {1.0, -1.25, 36527 + 11045 * kSecond, 2958465 + 86399 * kSecond, -657434 - 0.5, 0.75}) {
    const std::u16string text = TextOf(AppendDate, serial);
    const auto back = ParseDate(text);
    ASSERT_TRUE(back.has_value()) << Visible(text);
    EXPECT_NEAR(*back, serial, 1e-9) << Visible(text);
  }
  for (const char16_t* text : {u"", u"2000", u"1/2", u"2/30/2000", u"13/1/2000", u"25:00", u"3:60",
                               u"13:00 PM", u"1/2/2000x", u"hello", u"1/2/12345", u"3:04 XM"}) {
    EXPECT_FALSE(ParseDate(text).has_value()) << Visible(text);
  }
}

}  // namespace
}  // namespace dudUdudADOD::automation
