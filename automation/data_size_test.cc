// Data sizes by type code, reached directly and through references.
#include "automation/data_size.h"

#include <gtest/gtest.h>

#include "automation/bstr.h"
#include "automation/integer_types.h"
#include "automation/runtime_error.h"
#include "model/bstr_heap.h"
#include "model/client.h"
#include "model/safe_array_heap.h"

namespace dudUdudADOD::automation {
namespace {

TEST(DataSizeTest, ValuesHeldInTheVariant) {
  Process p;
  Client c(p);
  const struct {
    VariantImage value;
    int32_t size;
  } cases[] = {
      {VariantImage::Integer(1), 2},    {VariantImage::Boolean(true), 2},
      {VariantImage::Long(1), 4},       {VariantImage::Single(1), 4},
      {VariantImage::Error(5), 4},      {VariantImage::Double(1), 8},
      {VariantImage::Currency(1), 8},   {VariantImage::Date(1), 8},
      {VariantImage::Byte(1), 1},       {VariantImage::Empty(), 0},
      {VariantImage::Null(), 0},        {VariantImage::Object(0), 0},
      {VariantImage::OfDecimal({}), 0}, {VariantImage::String(SysAllocString(p, u"abc")), 6},
      {VariantImage::String(0), 0},
  };
  for (const auto& k : cases) {
    EXPECT_EQ(DataSize(p, c.PassValue(k.value)), k.size) << "vt " << k.value.vt();
  }
}

// The other integer types take their storage size, held or referred to, on
// both platforms; their arrays count nothing, as arrays of Long do not.
TEST(DataSizeTest, OtherIntegerTypesTakeTheirStorageSize) {
  const struct {
    uint16_t type;
    int32_t size;
  } cases[] = {{vbSByte, 1}, {vbUShort, 2}, {vbUInteger, 4}, {vbLongLong, 8},
               {vbULong, 8}, {vbInt, 4},    {vbUInt, 4}};
  const DeclaredBound one[] = {{1, 10}};
  for (const Platform platform : {Platform::kWin32, Platform::kWin64}) {
    Process p(platform);
    Client c(p);
    for (const auto& k : cases) {
      EXPECT_EQ(DataSize(p, c.PassValue(IntegerVariant(k.type, WholeNumber::Of(1)))), k.size)
          << "vt " << k.type;
      EXPECT_EQ(DataSize(p, c.Pass(c.Dim(k.type))), k.size) << "vt " << k.type;
      EXPECT_EQ(DataSize(p, c.Pass(c.DimArray(k.type, one))), 0) << "vt " << k.type;
    }
  }
}

TEST(DataSizeTest, ArraysCountOnlyTheFirstDimensionOfByteArrays) {
  Process p;
  Client c(p);
  const DeclaredBound one[] = {{1, 10}};
  const DeclaredBound two[] = {{0, 3}, {0, 4}};
  const DeclaredBound none[] = {{0, -1}};
  EXPECT_EQ(DataSize(p, c.Pass(c.DimArray(vbByte, one))), 10);
  EXPECT_EQ(DataSize(p, c.Pass(c.DimArray(vbByte, two))), 4);
  EXPECT_EQ(DataSize(p, c.Pass(c.DimArray(vbByte, none))), 0);
  EXPECT_EQ(DataSize(p, c.Pass(c.DimArray(vbLong, one))), 0);
  EXPECT_EQ(DataSize(p, c.Pass(c.DimArray(vbVariant, one))), 0);
  try {
    DataSize(p, c.Pass(c.DimDynamicArray(vbByte)));
    ADD_FAILURE() << "a Byte array without storage has no bounds";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), kSubscriptOutOfRange);
  }
}

TEST(DataSizeTest, ReferencesAreSizedByTheirTarget) {
  Process p;
  Client c(p);
  const Variable v = c.Dim(vbVariant);
  c.Assign(v, VariantImage::Double(2.5));
  const Address by_ref = c.PassValue(VariantImage::Reference(vbVariant, v.address));
  EXPECT_EQ(DataSize(p, by_ref), 8);
  EXPECT_EQ(DataSize(p, c.Pass(c.Dim(vbInteger))), 2);
}

}  // namespace
}  // namespace dudUdudADOD::automation
