#include "automation/conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "automation/bstr.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "testutil/error_of.h"
#include "testutil/golden.h"

namespace dudUdudADOD::automation {
namespace {

using testutil::Visible;

using testutil::ErrorOf;

Decimal Dec(uint64_t lo, uint8_t scale, bool negative = false) {
  return Decimal{scale, negative, 0, lo};
}

class ConversionsTest : public ::testing::Test {
 protected:
  VariantImage Str(std::u16string_view text) {
    return VariantImage::String(SysAllocString(process_, text));
  }

  VariantImage ByteArray(const std::vector<uint8_t>& bytes) {
    const DeclaredBound bound{1, static_cast<int32_t>(bytes.size())};
    const Address descriptor = SafeArrayCreate(process_, vbByte, std::span(&bound, 1));
    if (!bytes.empty()) {
      process_.memory().Write(SafeArrayData(process_.memory(), descriptor), bytes.data(),
                              static_cast<uint32_t>(bytes.size()));
    }
    return VariantImage::Array(vbByte, descriptor);
  }

  VariantImage LongArray() {
    const DeclaredBound bound{0, 2};
    return VariantImage::Array(vbLong, SafeArrayCreate(process_, vbLong, std::span(&bound, 1)));
  }

  // Stores `value` in a variable of its own type on the stack and returns the
  // by-reference variant a client would pass for that variable.
  VariantImage ByRef(const VariantImage& value) {
    const uint32_t size = StorageSize(value.vt());
    const Address at = process_.stack().Push(size);
    process_.memory().Write(at, value.data_field(), size);
    return VariantImage::Reference(value.vt(), at);
  }

  // A Variant variable holding `value`, passed by reference.
  VariantImage VariantRef(const VariantImage& value) {
    const Address at = process_.stack().Push(kVariantSize);
    StoreVariant(process_.memory(), at, value);
    return VariantImage::Reference(vbVariant, at);
  }

  std::u16string Text(const VariantImage& v) { return VariantToText(process_, v); }

  Process process_;
};

// ---------------------------------------------------------------------------

TEST_F(ConversionsTest, VarTypeFollowsReferencesAndKeepsTheArrayBit) {
  EXPECT_EQ(VarType(process_.memory(), VariantImage::Long(5)), vbLong);
  EXPECT_EQ(VarType(process_.memory(), ByRef(VariantImage::Double(1))), vbDouble);
  EXPECT_EQ(VarType(process_.memory(), VariantRef(Str(u"a"))), vbString);
  EXPECT_EQ(VarType(process_.memory(), LongArray()), vbArray | vbLong);
}

TEST_F(ConversionsTest, TypeNameNamesTypesArraysAndObjects) {
  const Address collection = process_.NewObject(u"Collection", std::nullopt);
  const struct {
    VariantImage value;
    const char16_t* name;
  } cases[] = {
      {VariantImage::Empty(), u"Empty"},
      {VariantImage::Null(), u"Null"},
      {VariantImage::Integer(1), u"Integer"},
      {ByRef(VariantImage::Long(1)), u"Long"},
      {VariantImage::Currency(1), u"Currency"},
      {VariantImage::Date(1), u"Date"},
      {Str(u"x"), u"String"},
      {VariantImage::Error(5), u"Error"},
      {VariantImage::Boolean(true), u"Boolean"},
      {VariantImage::Byte(1), u"Byte"},
      {VariantImage::OfDecimal(Dec(1, 0)), u"Decimal"},
      {VariantImage::OfType(vbDataObject), u"Unknown"},
      {VariantImage::OfType(vbUserDefinedType), u"Unknown"},
      {VariantImage::OfType(99), u"Unknown"},
      {LongArray(), u"Long()"},
      {VariantImage::Array(vbVariant, 0), u"Variant()"},
      {VariantImage::Array(vbObject, 0), u"Object()"},
      {VariantImage::Object(0), u"Nothing"},
      {VariantImage::Object(collection), u"Collection"},
      {VariantImage::Object(0x00500000), u"Object"},  // no object lives there
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TypeName(process_, c.value), c.name) << "vt " << c.value.vt();
  }
}

// ---------------------------------------------------------------------------

TEST_F(ConversionsTest, TextOfEveryTypeThatHasOne) {
  const Address answer = process_.NewObject(u"Answer", u"42");
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
      {VariantImage::Boolean(false), u"False"},
      {VariantImage::Error(5), u"Error 5"},
      {VariantImage::OfDecimal(Dec(15, 1, true)), u"-1.5"},
      {Str(u"abc"), u"abc"},
      {VariantImage::String(0), u""},  // the null string
      {ByRef(VariantImage::Long(7)), u"7"},
      {VariantRef(Str(u"inner")), u"inner"},
      {VariantImage::Object(answer), u"42"},
      {ByteArray({72, 0, 105, 0}), u"Hi"},
      {ByteArray({72, 0, 105}), u"H"},  // odd last byte dropped
      {VariantImage::Array(vbByte, 0), u""},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(c.value), c.text) << "vt " << c.value.vt();
}

TEST_F(ConversionsTest, TextRaisesForNullObjectsWithoutTextAndNonTextTypes) {
  const Address no_default = process_.NewObject(u"Plain", std::nullopt);
  const struct {
    VariantImage value;
    int error;
  } cases[] = {
      {VariantImage::Null(), kInvalidUseOfNull},
      {VariantRef(VariantImage::Null()), kInvalidUseOfNull},
      {LongArray(), kTypeMismatch},
      {VariantImage::OfType(vbUserDefinedType), kTypeMismatch},
      {VariantImage::OfType(99), kTypeMismatch},
      {VariantImage::Object(0), kObjectNotSet},
      {VariantImage::Object(no_default), kNoSuchMember},
      {VariantImage::Object(0x00500000), kInvalidArgument},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorOf([&] { Text(c.value); }), c.error) << "vt " << c.value.vt();
  }
}

TEST_F(ConversionsTest, LenBReadsAStringsPrefixWithoutTheText) {
  EXPECT_EQ(LenB(process_, Str(u"abc")), 6u);
  EXPECT_EQ(LenB(process_, VariantImage::Long(12345)), 10u);
  EXPECT_EQ(LenB(process_, VariantImage::Boolean(true)), 8u);
  EXPECT_EQ(LenB(process_, VariantImage::Empty()), 0u);
  // A prefix that claims more than is mapped: LenB reports it as stored, the
  // text itself cannot be read.
  const VariantImage lying = Str(u"ab");
  WriteUInt32(process_.memory(), lying.pointer() - 4, 0x10000001);
  EXPECT_EQ(LenB(process_, lying), 0x10000001u);
  EXPECT_EQ(ErrorOf([&] { Text(lying); }), kInvalidArgument);
  EXPECT_EQ(ErrorOf([&] { LenB(process_, VariantImage::Null()); }), kInvalidUseOfNull);
}

// ---------------------------------------------------------------------------

TEST_F(ConversionsTest, ToLongRoundsHalvesToEven) {
  const Address seven = process_.NewObject(u"Seven", u"7");
  const struct {
    VariantImage value;
    int32_t expected;
  } cases[] = {
      {VariantImage::Double(2.5), 2},
      {VariantImage::Double(3.5), 4},
      {VariantImage::Double(-2.5), -2},
      {VariantImage::Double(-3.5), -4},
      {VariantImage::Double(2.4999), 2},
      {VariantImage::Double(0.5), 0},
      {VariantImage::Single(1.5f), 2},
      {VariantImage::Date(1.5), 2},
      {VariantImage::Currency(25000), 2},
      {VariantImage::Currency(35000), 4},
      {VariantImage::Currency(-25000), -2},
      {VariantImage::Currency(25001), 3},
      {VariantImage::OfDecimal(Dec(25, 1)), 2},
      {VariantImage::OfDecimal(Dec(35, 1, true)), -4},
      {VariantImage::OfDecimal(Dec(250000001, 8)), 3},
      {VariantImage::Boolean(true), -1},
      {VariantImage::Empty(), 0},
      {VariantImage::Byte(200), 200},
      {ByRef(VariantImage::Integer(-7)), -7},
      {VariantImage::Double(2147483647.4), INT32_MAX},
      {VariantImage::Double(-2147483648.5), INT32_MIN},
      {Str(u" 12 "), 12},
      {Str(u"2.5"), 2},
      {Str(u"&HFF"), 255},
      {VariantImage::Object(seven), 7},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VariantToLong(process_, c.value), c.expected) << Visible(Text(c.value));
  }
}

TEST_F(ConversionsTest, ToLongRaisesOutOfRangeNonNumbersAndNull) {
  const struct {
    VariantImage value;
    int error;
  } cases[] = {
      {VariantImage::Double(2147483647.5), kOverflow},  // even neighbour is 2^31
      {VariantImage::Double(1e300), kOverflow},
      {VariantImage::Double(std::nan("")), kOverflow},
      {VariantImage::Currency(INT64_MAX), kOverflow},
      {Str(u"1E400"), kOverflow},
      {Str(u"abc"), kTypeMismatch},
      {VariantImage::Error(5), kTypeMismatch},
      {LongArray(), kTypeMismatch},
      {VariantImage::Null(), kInvalidUseOfNull},
      {VariantImage::Object(0), kObjectNotSet},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorOf([&] { VariantToLong(process_, c.value); }), c.error) << "vt " << c.value.vt();
  }
}

// ---------------------------------------------------------------------------

TEST_F(ConversionsTest, ChangeTypeConvertsBetweenScalars) {
  const struct {
    VariantImage value;
    uint16_t type;
    const char16_t* text;  // of the result
  } cases[] = {
      {VariantImage::Double(2.5), vbInteger, u"2"},
      {VariantImage::Long(255), vbByte, u"255"},
      {VariantImage::Double(1.5), vbSingle, u"1.5"},
      {Str(u"1.5E+2"), vbDouble, u"150"},
      {VariantImage::OfDecimal(Dec(15, 1)), vbDouble, u"1.5"},
      {Str(u"922337203685477.5807"), vbCurrency, u"922337203685477.5807"},  // exact
      {VariantImage::OfDecimal(Dec(123455, 5)), vbCurrency, u"1.2346"},
      {VariantImage::OfDecimal(Dec(123445, 5)), vbCurrency, u"1.2344"},
      {VariantImage::Double(2.5), vbCurrency, u"2.5"},
      {VariantImage::Boolean(true), vbCurrency, u"-1"},
      {Str(u"1/2/2000"), vbDate, u"1/2/2000"},
      {Str(u"36527.5"), vbDate, u"1/2/2000 12:00:00 PM"},
      {VariantImage::Double(0.25), vbDate, u"6:00:00 AM"},
      {VariantImage::Long(-5), vbString, u"-5"},
      {Str(u"tRUe"), vbBoolean, u"True"},
      {Str(u" False "), vbBoolean, u"False"},
      {Str(u"0"), vbBoolean, u"False"},
      {Str(u"2"), vbBoolean, u"True"},
      {VariantImage::Double(0.1), vbBoolean, u"True"},
      {VariantImage::OfDecimal(Dec(0, 3)), vbBoolean, u"False"},
      {VariantImage::Double(0.1), vbDecimal, u"0.1"},  // 15 digits, not the binary tail
      {VariantImage::Single(0.1f), vbDecimal, u"0.1"},
      {VariantImage::Currency(INT64_MIN), vbDecimal, u"-922337203685477.5808"},
      {VariantImage::Long(-5), vbDecimal, u"-5"},
      {Str(u"1.5"), vbDecimal, u"1.5"},
      {VariantImage::Error(7), vbError, u"Error 7"},
      {VariantImage::Empty(), vbLong, u"0"},
      {VariantImage::Empty(), vbString, u""},
      {VariantImage::Empty(), vbBoolean, u"False"},
      {VariantImage::Empty(), vbDate, u"12:00:00 AM"},
      {ByRef(VariantImage::Long(40)), vbInteger, u"40"},
  };
  for (const auto& c : cases) {
    const VariantImage result = ChangeType(process_, c.value, c.type);
    EXPECT_EQ(result.vt(), c.type);
    EXPECT_EQ(Text(result), c.text) << Visible(Text(c.value)) << " to " << c.type;
  }
}

TEST_F(ConversionsTest, ChangeTypeRaisesOverflowMismatchAndNull) {
  const struct {
    VariantImage value;
    uint16_t type;
    int error;
  } cases[] = {
      {VariantImage::Long(40000), vbInteger, kOverflow},
      {VariantImage::Long(256), vbByte, kOverflow},
      {VariantImage::Long(-1), vbByte, kOverflow},
      {VariantImage::Double(1e39), vbSingle, kOverflow},
      {Str(u"1E39"), vbSingle, kOverflow},
      {Str(u"922337203685477.5808"), vbCurrency, kOverflow},
      {VariantImage::Double(1e15), vbCurrency, kOverflow},
      {VariantImage::Double(3e6), vbDate, kOverflow},
      {VariantImage::Double(1e30), vbDecimal, kOverflow},
      {Str(u"abc"), vbDate, kTypeMismatch},
      {Str(u"yes"), vbBoolean, kTypeMismatch},
      {VariantImage::Long(5), vbError, kTypeMismatch},
      {VariantImage::Long(5), vbObject, kTypeMismatch},
      {VariantImage::Error(5), vbLong, kTypeMismatch},
      {LongArray(), vbString, kTypeMismatch},
      {VariantImage::Long(1), vbUserDefinedType, kTypeMismatch},
      {VariantImage::Null(), vbLong, kInvalidUseOfNull},
      {VariantImage::Null(), vbString, kInvalidUseOfNull},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorOf([&] { ChangeType(process_, c.value, c.type); }), c.error)
        << Visible(c.value.vt() == vbNull ? u"Null" : Text(c.value)) << " to " << c.type;
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

// ---------------------------------------------------------------------------

TEST(AnsiCharTest, MapsTheAnsiCodePage) {
  const struct {
    int32_t code;
    char16_t ch;
  } cases[] = {
      {0, 0},        {65, u'A'},    {127, 127},  {128, 0x20AC}, {129, 0x81},
      {141, 0x8D},   {143, 0x8F},   {144, 0x90}, {157, 0x9D},   {150, 0x2013},
      {153, 0x2122}, {159, 0x0178}, {160, 0xA0}, {255, 0xFF},
  };
  for (const auto& c : cases) EXPECT_EQ(AnsiChar(c.code), c.ch) << c.code;
  for (int32_t code : {-1, 256, INT32_MIN}) {
    EXPECT_EQ(ErrorOf([&] { AnsiChar(code); }), kInvalidArgument) << code;
  }
}

}  // namespace
}  // namespace dudUdudADOD::automation
