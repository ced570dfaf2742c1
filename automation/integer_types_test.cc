#include "automation/integer_types.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "automation/runtime_error.h"
#include "testutil/error_of.h"
#include "testutil/golden.h"

namespace dudUdudADOD::automation {
namespace {

using testutil::ErrorOf;

// Each type at the edges of its range, from its little-endian bytes: the
// sign bit of the type's own width, and nothing read past it.
TEST(IntegerTypesTest, ReadsEachTypesBytesAsItsRangeHasThem) {
  const struct {
    uint16_t type;
    uint64_t bits;  // the stored bytes; bytes past the type's size are 0xEE
    const char* text;
  } cases[] = {
      {vbSByte, 0x80, "-128"},
      {vbSByte, 0x7F, "127"},
      {vbByte, 0xFF, "255"},
      {vbInteger, 0x8000, "-32768"},
      {vbUShort, 0xFFFF, "65535"},
      {vbLong, 0x80000000, "-2147483648"},
      {vbUInteger, 0xFFFFFFFF, "4294967295"},
      {vbInt, 0xFFFFFFFF, "-1"},
      {vbUInt, 0x80000000, "2147483648"},
      {vbLongLong, 0x8000000000000000, "-9223372036854775808"},
      {vbLongLong, 0x7FFFFFFFFFFFFFFF, "9223372036854775807"},
      {vbULong, 0xFFFFFFFFFFFFFFFF, "18446744073709551615"},
      {vbULong, 0, "0"},
  };
  for (const auto& c : cases) {
    const uint32_t size = StorageSize(c.type, kWin32Layout);
    uint8_t bytes[16];
    for (uint32_t i = 0; i < 16; ++i) {
      bytes[i] = static_cast<uint8_t>(i < size ? c.bits >> (8 * i) : 0xEE);
    }
    std::u16string text;
    AppendWhole(text, ReadWhole(c.type, bytes));
    EXPECT_EQ(text, testutil::U16(c.text)) << "type " << c.type;
  }
}

TEST(IntegerTypesTest, VariantsHoldTheirRangeAndOverflowPastIt) {
  const struct {
    uint16_t type;
    WholeNumber value;
    int error;
  } cases[] = {
      {vbSByte, WholeNumber::Of(-128), 0},
      {vbSByte, WholeNumber::Of(128), kOverflow},
      {vbSByte, WholeNumber::Of(-129), kOverflow},
      {vbUShort, WholeNumber::Of(65535), 0},
      {vbUShort, WholeNumber::Of(-1), kOverflow},
      {vbUInteger, WholeNumber::Of(4294967296), kOverflow},
      {vbInt, WholeNumber::Of(INT32_MIN), 0},
      {vbInt, WholeNumber::Of(2147483648), kOverflow},
      {vbUInt, WholeNumber::Of(4294967295), 0},
      {vbLongLong, WholeNumber::Of(INT64_MIN), 0},
      {vbLongLong, WholeNumber::OfUnsigned(uint64_t{1} << 63), kOverflow},
      {vbULong, WholeNumber::OfUnsigned(UINT64_MAX), 0},
      {vbULong, WholeNumber::Of(-1), kOverflow},
      {vbByte, WholeNumber::Of(256), kOverflow},
  };
  for (const auto& c : cases) {
    VariantImage made;
    EXPECT_EQ(ErrorOf([&] { made = IntegerVariant(c.type, c.value); }), c.error)
        << "type " << c.type;
    if (c.error != 0) continue;
    EXPECT_EQ(made.vt(), c.type);
    EXPECT_EQ(ReadWhole(c.type, made.data_field()), c.value) << "type " << c.type;
    // Nothing is stored past the type's size: a report shows those bytes.
    const uint32_t size = StorageSize(c.type, kWin32Layout);
    for (uint32_t i = size; i < 8; ++i) EXPECT_EQ(made.data_field()[i], 0) << "type " << c.type;
  }
}

TEST(IntegerTypesTest, Int64RangeIsCheckedBothWays) {
  EXPECT_EQ(WholeToInt64(WholeNumber::Of(INT64_MIN)), INT64_MIN);
  EXPECT_EQ(WholeToInt64(WholeNumber::Of(INT64_MAX)), INT64_MAX);
  EXPECT_EQ(ErrorOf([] { WholeToInt64(WholeNumber::OfUnsigned(uint64_t{1} << 63)); }), kOverflow);
  EXPECT_EQ(ErrorOf([] { WholeToInt64(WholeNumber{true, (uint64_t{1} << 63) + 1}); }), kOverflow);
}

TEST(IntegerTypesTest, OnlyTheTenIntegerCodesAreIntegerTypes) {
  for (uint16_t type = 0; type < 40; ++type) {
    const bool expected = type == vbInteger || type == vbLong || (type >= 16 && type <= 23);
    EXPECT_EQ(IsIntegerType(type), expected) << "type " << type;
  }
  EXPECT_FALSE(IsIntegerType(vbArray | vbLongLong));
  EXPECT_FALSE(IsIntegerType(kByRef | vbLongLong));
}

}  // namespace
}  // namespace dudUdudADOD::automation
