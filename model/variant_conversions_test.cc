#include "model/variant_conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "automation/bstr.h"
#include "automation/conversions.h"
#include "automation/integer_types.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "model/bstr_heap.h"
#include "model/safe_array_heap.h"
#include "model/variant_memory.h"
#include "testutil/error_of.h"
#include "testutil/golden.h"

namespace dudUdudADOD::automation {
namespace {

using testutil::ErrorOf;
using testutil::Visible;

Decimal Dec(uint64_t lo, uint8_t scale, bool negative = false) {
  return Decimal{scale, negative, 0, lo};
}

class ConversionsTest : public ::testing::Test {
 protected:
  VariantImage Str(std::u16string_view text) {
    return VariantImage::String(SysAllocString(process_, text));
  }

  // A 1 To n array of Byte holding `bytes`; an array of Long is left empty.
  VariantImage ArrayOf(uint16_t type, const std::vector<uint8_t>& bytes = {}) {
    const DeclaredBound bound{1, static_cast<int32_t>(bytes.size())};
    const Address descriptor = SafeArrayCreate(process_, type, std::span(&bound, 1));
    process_.memory().Write(SafeArrayData(process_.memory(), descriptor), bytes.data(),
                            static_cast<uint32_t>(bytes.size()));
    return VariantImage::Array(type, descriptor);
  }

  // Stores `value` in a variable of its own type on the stack and returns the
  // by-reference variant a client would pass for that variable.
  VariantImage ByRef(const VariantImage& value) {
    const uint32_t size = StorageSize(value.vt(), kWin32Layout);
    const Address at = process_.stack().Push(size);
    process_.memory().Write(at, value.data_field(), size);
    return VariantImage::Reference(value.vt(), at);
  }

  // A Variant variable holding `value`, passed by reference.
  VariantImage VariantRef(const VariantImage& value) {
    const Address at = process_.stack().Push(kWin32Layout.variant_size);
    StoreVariant(process_.memory(), at, value);
    return VariantImage::Reference(vbVariant, at);
  }

  std::u16string Text(const VariantImage& v) { return VariantToText(process_, v); }

  // What `convert` returns, or "error N" for the run-time error it raises.
  template <typename Convert>
  static std::u16string Outcome(Convert convert) {
    try {
      return convert();
    } catch (const RuntimeError& e) {
      return u"error " + testutil::U16(std::to_string(e.number()));
    }
  }

  Process process_;
};

TEST_F(ConversionsTest, VarTypeAndTypeNameFollowReferences) {
  EXPECT_EQ(VarType(process_.memory(), ByRef(VariantImage::Double(1))), vbDouble);
  EXPECT_EQ(VarType(process_.memory(), VariantRef(Str(u"a"))), vbString);
  EXPECT_EQ(VarType(process_.memory(), ArrayOf(vbLong)), vbArray | vbLong);
  const Address collection = process_.NewObject(u"Collection", std::nullopt);
  const struct {
    VariantImage value;
    const char16_t* name;
  } cases[] = {
      {VariantImage::Empty(), u"Empty"},
      {VariantImage::Null(), u"Null"},
      {ByRef(VariantImage::Long(1)), u"Long"},
      {VariantImage::OfDecimal(Dec(1, 0)), u"Decimal"},
      {VariantImage::OfType(vbDataObject), u"Unknown"},
      {VariantImage::OfType(99), u"Unknown"},
      {ArrayOf(vbLong), u"Long()"},
      {VariantImage::Array(vbVariant, 0), u"Variant()"},
      {VariantImage::Array(vbObject, 0), u"Object()"},
      {VariantImage::Object(0), u"Nothing"},
      {VariantImage::Object(collection), u"Collection"},
      {VariantImage::Object(0x00500000), u"Object"},  // no object lives there
  };
  for (const auto& c : cases)
    EXPECT_EQ(TypeName(process_, c.value), c.name) << "vt " << c.value.vt();
}

// The integer types beyond the language's own: their names, their texts by
// value and by reference, and CLng through them.
TEST_F(ConversionsTest, OtherIntegerTypesHaveNamesTextsAndLongs) {
  const auto of = [](uint16_t type, int64_t v) { return IntegerVariant(type, WholeNumber::Of(v)); };
  const VariantImage ulong_max = IntegerVariant(vbULong, WholeNumber::OfUnsigned(UINT64_MAX));
  const struct {
    VariantImage value;
    const char16_t* name;
    const char16_t* text;
    const char16_t* long_value;
  } cases[] = {
      {of(vbSByte, -128), u"SByte", u"-128", u"-128"},
      {of(vbUShort, 65535), u"UShort", u"65535", u"65535"},
      {of(vbUInteger, 4294967295), u"UInteger", u"4294967295", u"error 6"},
      {of(vbLongLong, INT64_MIN), u"LongLong", u"-9223372036854775808", u"error 6"},
      {of(vbLongLong, -2147483648), u"LongLong", u"-2147483648", u"-2147483648"},
      {ulong_max, u"ULong", u"18446744073709551615", u"error 6"},
      {of(vbInt, -7), u"Int", u"-7", u"-7"},
      {of(vbUInt, 2147483648), u"UInt", u"2147483648", u"error 6"},
      {ByRef(of(vbLongLong, 1099511627776)), u"LongLong", u"1099511627776", u"error 6"},
      {ByRef(of(vbUShort, 40000)), u"UShort", u"40000", u"40000"},
      {VariantRef(of(vbULong, 12)), u"ULong", u"12", u"12"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TypeName(process_, c.value), c.name) << "vt " << c.value.vt();
    EXPECT_EQ(Outcome([&] { return Text(c.value); }), c.text) << "vt " << c.value.vt();
    const auto to_long = [&] {
      return testutil::U16(std::to_string(VariantToLong(process_, c.value)));
    };
    EXPECT_EQ(Outcome(to_long), c.long_value) << "vt " << c.value.vt();
  }
  EXPECT_EQ(TypeName(process_, ArrayOf(vbLongLong)), u"LongLong()");
  EXPECT_EQ(TypeName(process_, VariantImage::Array(vbUInt, 0)), u"UInt()");
  EXPECT_EQ(TypeName(process_, VariantImage::OfType(24)), u"Unknown");  // past the integers
}

TEST_F(ConversionsTest, TextOfEveryTypeThatHasOne) {
  const Address answer = process_.NewObject(u"Answer", u"42");
  const Address no_default = process_.NewObject(u"Plain", std::nullopt);
  const struct {
    VariantImage value;
    const char16_t* text;
  } cases[] = {
      {VariantImage::Empty(), u""},
      {VariantImage::Integer(-5), u"-5"},
      {VariantImage::Long(INT32_MIN), u"-2147483648"},
      {VariantImage::Byte(255), u"255"},
      {VariantImage::Single(1.5f), u"1.5"},
      {VariantImage::Double(1e20), u"1E+20"},
      {VariantImage::Currency(-1), u"-0.0001"},
      {VariantImage::Date(36527.5), u"1/2/2000 12:00:00 PM"},
      {VariantImage::Boolean(true), u"True"},
      {VariantImage::Error(5), u"Error 5"},
      {VariantImage::OfDecimal(Dec(15, 1, true)), u"-1.5"},
      {Str(u"abc"), u"abc"},
      {VariantImage::String(0), u""},  // the null string
      {ByRef(VariantImage::Long(7)), u"7"},
      {VariantRef(Str(u"inner")), u"inner"},
      {VariantImage::Object(answer), u"42"},
      {ArrayOf(vbByte, {72, 0, 105, 0, 33}), u"Hi"},  // an odd last byte is dropped
      {VariantImage::Array(vbByte, 0), u""},
      {VariantRef(VariantImage::Null()), u"error 94"},
      {ArrayOf(vbLong), u"error 13"},
      {VariantImage::OfType(vbUserDefinedType), u"error 13"},
      {VariantImage::Object(0), u"error 91"},
      {VariantImage::Object(no_default), u"error 438"},
      {VariantImage::Object(0x00500000), u"error 5"},  // no object lives there
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Outcome([&] { return Text(c.value); }), c.text) << "vt " << c.value.vt();
  }
}

TEST_F(ConversionsTest, LenBReadsAStringsPrefixWithoutTheText) {
  EXPECT_EQ(LenB(process_, Str(u"abc")), 6u);
  EXPECT_EQ(LenB(process_, VariantImage::Long(12345)), 10u);
  EXPECT_EQ(LenB(process_, VariantImage::Empty()), 0u);
  EXPECT_EQ(ErrorOf([&] { LenB(process_, VariantImage::Null()); }), kInvalidUseOfNull);
  // A prefix that claims more than is mapped: LenB reports it as stored, the
  // text itself cannot be read.
  const VariantImage lying = Str(u"ab");
  WriteUInt32(process_.memory(), lying.pointer() - 4, 0x10000001);
  EXPECT_EQ(LenB(process_, lying), 0x10000001u);
  EXPECT_EQ(ErrorOf([&] { Text(lying); }), kInvalidArgument);
}

// A text's length comes from where it is stored, so a string that claims
// more than is mapped has a length and no text.
TEST_F(ConversionsTest, TextLengthReadsLengthsWithoutTheText) {
  const VariantImage lying = Str(u"ab");
  WriteUInt32(process_.memory(), lying.pointer() - 4, 0x7FFFFFF0);
  const struct {
    VariantImage value;
    uint64_t length;
  } cases[] = {
      {Str(u"abc"), 3},
      {lying, 0x3FFFFFF8},
      {VariantImage::Long(-12345), 6},
      {ArrayOf(vbByte, {72, 0, 105, 0, 33}), 2},
      {VariantImage::Object(process_.NewObject(u"Seven", u"seven")), 5},
  };
  for (const auto& c : cases) EXPECT_EQ(TextLength(process_, c.value), c.length);
  EXPECT_EQ(ErrorOf([&] { TextLength(process_, VariantImage::Null()); }), kInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([&] { TextLength(process_, VariantImage::String(0x00500004)); }),
            kInvalidArgument);
}

TEST_F(ConversionsTest, ToLongRoundsHalvesToEvenAndRaisesOutOfRange) {
  const Address seven = process_.NewObject(u"Seven", u"7");
  const struct {
    VariantImage value;
    const char16_t* result;
  } cases[] = {
      {VariantImage::Double(2.5), u"2"},
      {VariantImage::Double(3.5), u"4"},
      {VariantImage::Double(-2.5), u"-2"},
      {VariantImage::Single(1.5f), u"2"},
      {VariantImage::Currency(25000), u"2"},
      {VariantImage::Currency(-35000), u"-4"},
      {VariantImage::Currency(25001), u"3"},
      {VariantImage::OfDecimal(Dec(25, 1)), u"2"},
      {VariantImage::OfDecimal(Dec(35, 1, true)), u"-4"},
      {VariantImage::OfDecimal(Dec(250000001, 8)), u"3"},  // the tail breaks the tie
      {VariantImage::Boolean(true), u"-1"},
      {VariantImage::Empty(), u"0"},
      {VariantImage::Byte(200), u"200"},
      {ByRef(VariantImage::Integer(-7)), u"-7"},
      {VariantImage::Double(2147483647.4), u"2147483647"},
      {VariantImage::Double(-2147483648.5), u"-2147483648"},
      {Str(u" 12 "), u"12"},
      {VariantImage::Object(seven), u"7"},
      {VariantImage::Double(2147483647.5), u"error 6"},  // even neighbour is 2^31
      {VariantImage::Double(1e300), u"error 6"},
      {VariantImage::Double(std::nan("")), u"error 6"},
      {Str(u"1E400"), u"error 6"},
      {Str(u"abc"), u"error 13"},
      {ArrayOf(vbLong), u"error 13"},
      {VariantImage::Null(), u"error 94"},
  };
  for (const auto& c : cases) {
    const auto to_long = [&] {
      return testutil::U16(std::to_string(VariantToLong(process_, c.value)));
    };
    EXPECT_EQ(Outcome(to_long), c.result) << "vt " << c.value.vt();
  }
}

TEST_F(ConversionsTest, ChangeTypeConvertsBetweenScalarsOrRaises) {
  const struct {
    VariantImage value;
    uint16_t type;
    const char16_t* result;  // the text of the result
  } cases[] = {
      {VariantImage::Long(255), vbByte, u"255"},
      {VariantImage::Double(1.5), vbSingle, u"1.5"},
      {VariantImage::OfDecimal(Dec(15, 1)), vbDouble, u"1.5"},
      {Str(u"922337203685477.5807"), vbCurrency, u"922337203685477.5807"},  // exact
      {VariantImage::OfDecimal(Dec(123455, 5)), vbCurrency, u"1.2346"},
      {VariantImage::Double(2.5), vbCurrency, u"2.5"},
      {VariantImage::Boolean(true), vbCurrency, u"-1"},
      {Str(u"1/2/2000"), vbDate, u"1/2/2000"},
      {Str(u"36527.5"), vbDate, u"1/2/2000 12:00:00 PM"},
      {VariantImage::Double(0.25), vbDate, u"6:00:00 AM"},
      {Str(u"tRUe"), vbBoolean, u"True"},
      {Str(u" False "), vbBoolean, u"False"},
      {Str(u"2"), vbBoolean, u"True"},
      {VariantImage::Double(0.1), vbBoolean, u"True"},
      {VariantImage::OfDecimal(Dec(0, 3)), vbBoolean, u"False"},
      {VariantImage::Double(0.1), vbDecimal, u"0.1"},  // 15 digits, not the binary tail
      {VariantImage::Single(0.1f), vbDecimal, u"0.1"},
      {VariantImage::Currency(INT64_MIN), vbDecimal, u"-922337203685477.5808"},
      {VariantImage::Long(-5), vbDecimal, u"-5"},
      {Str(u"1.5"), vbDecimal, u"1.5"},
      {VariantImage::Error(7), vbError, u"Error 7"},
      {ByRef(VariantImage::Long(40)), vbInteger, u"40"},
      {VariantImage::Empty(), vbLong, u"0"},
      {VariantImage::Long(40000), vbInteger, u"error 6"},
      {VariantImage::Long(256), vbByte, u"error 6"},
      {VariantImage::Long(-1), vbByte, u"error 6"},
      {VariantImage::Double(1e39), vbSingle, u"error 6"},
      {Str(u"922337203685477.5808"), vbCurrency, u"error 6"},
      {VariantImage::Double(1e15), vbCurrency, u"error 6"},
      {VariantImage::Double(2958466), vbDate, u"error 6"},  // the day after 12/31/9999
      {VariantImage::Double(1e30), vbDecimal, u"error 6"},
      {Str(u"abc"), vbDate, u"error 13"},
      {Str(u"yes"), vbBoolean, u"error 13"},
      {VariantImage::Long(5), vbError, u"error 13"},
      {VariantImage::Long(5), vbObject, u"error 13"},
      {VariantImage::Long(1), vbUserDefinedType, u"error 13"},
      {VariantImage::Null(), vbLong, u"error 94"},
      // The integer types beyond the language's own: 64-bit values pass
      // exactly through Currency and Decimal, and a Double up to 2^64 fits
      // a ULong.
      {Str(u"-9223372036854775808"), vbLongLong, u"-9223372036854775808"},
      {Str(u"9223372036854775807"), vbLongLong, u"9223372036854775807"},  // exact, not a Double
      {Str(u"9223372036854775808"), vbLongLong, u"error 6"},
      {Str(u"18446744073709551615.4"), vbULong, u"18446744073709551615"},
      {VariantImage::Double(-0x1p63), vbLongLong, u"-9223372036854775808"},
      {VariantImage::Double(0x1p63), vbLongLong, u"error 6"},
      {VariantImage::Double(0x1p63), vbULong, u"9223372036854775808"},
      {VariantImage::Double(0x1p64), vbULong, u"error 6"},
      {VariantImage::Double(2.5), vbLongLong, u"2"},
      {VariantImage::Double(-0.5), vbULong, u"0"},
      {VariantImage::Currency(INT64_MIN), vbLongLong, u"-922337203685478"},
      {VariantImage::OfDecimal(Decimal{0, false, 0, UINT64_MAX}), vbULong, u"18446744073709551615"},
      {VariantImage::OfDecimal(Decimal{0, false, 1, 0}), vbULong, u"error 6"},
      {IntegerVariant(vbULong, WholeNumber::OfUnsigned(UINT64_MAX)), vbDecimal,
       u"18446744073709551615"},
      {IntegerVariant(vbLongLong, WholeNumber::Of(922337203685477)), vbCurrency,
       u"922337203685477"},
      {IntegerVariant(vbLongLong, WholeNumber::Of(922337203685478)), vbCurrency, u"error 6"},
      {IntegerVariant(vbLongLong, WholeNumber::Of(-5)), vbDouble, u"-5"},
      {IntegerVariant(vbSByte, WholeNumber::Of(-1)), vbByte, u"error 6"},
      {IntegerVariant(vbUInt, WholeNumber::Of(3)), vbBoolean, u"True"},
      {VariantImage::Integer(-1), vbUShort, u"error 6"},
      {VariantImage::Long(-129), vbSByte, u"error 6"},
      {Str(u"4294967295"), vbUInt, u"4294967295"},
      {VariantImage::Null(), vbLongLong, u"error 94"},
  };
  for (const auto& c : cases) {
    const std::u16string result = Outcome([&] {
      const VariantImage converted = ChangeType(process_, c.value, c.type);
      EXPECT_EQ(converted.vt(), c.type);
      return Text(converted);
    });
    EXPECT_EQ(result, c.result) << "vt " << c.value.vt() << " to " << c.type;
  }
}

TEST_F(ConversionsTest, ChangeTypeToStringOrVariantMakesANewString) {
  const VariantImage source = Str(u"text");
  for (uint16_t type : {vbString, vbVariant}) {
    const VariantImage copy = ChangeType(process_, source, type);
    EXPECT_EQ(copy.vt(), vbString);
    EXPECT_NE(copy.pointer(), source.pointer());
    EXPECT_EQ(Text(copy), u"text");
  }
  EXPECT_EQ(ChangeType(process_, VariantImage::Null(), vbVariant).vt(), vbNull);
  EXPECT_EQ(ChangeType(process_, VariantImage::Object(0), vbObject).pointer(), 0u);
}

TEST(AnsiCharTest, MapsTheAnsiCodePage) {
  const struct {
    int32_t code;
    char16_t ch;
  } cases[] = {{0, 0},      {127, 127},  {128, 0x20AC}, {129, 0x81}, {141, 0x8D}, {143, 0x8F},
               {144, 0x90}, {157, 0x9D}, {159, 0x0178}, {160, 0xA0}, {255, 0xFF}};
  for (const auto& c : cases) EXPECT_EQ(AnsiChar(c.code), c.ch) << c.code;
  EXPECT_EQ(ErrorOf([] { AnsiChar(-1); }), kInvalidArgument);
  EXPECT_EQ(ErrorOf([] { AnsiChar(256); }), kInvalidArgument);
}

}  // namespace
}  // namespace dudUdudADOD::automation
