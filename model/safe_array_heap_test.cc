// Copying and freeing arrays of Variants whose elements hold arrays: each
// array is handled once, whatever the paths to it, so arrays that share a
// nested array or hold themselves are copied and freed in time and stack in
// proportion to what is there; and nothing is lost when a copy fails.
#include "model/safe_array_heap.h"

#include <gtest/gtest.h>

#include <span>
#include <vector>

#include "automation/bstr.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "automation/variant.h"
#include "model/bstr_heap.h"
#include "model/variant_memory.h"
#include "testutil/error_of.h"

namespace dudUdudADOD::automation {
namespace {

using testutil::ErrorOf;

class VariantArrayTest : public testing::Test {
 protected:
  // A Variant array of `count` Empty elements.
  Address VariantArray(int32_t count) {
    const DeclaredBound bound{0, count - 1};
    return SafeArrayCreate(process_, vbVariant, std::span(&bound, 1));
  }
  Address Element(Address descriptor, uint32_t i) {
    return SafeArrayData(process_.memory(), descriptor) + i * kWin32Layout.variant_size;
  }
  void Set(Address descriptor, uint32_t i, const VariantImage& v) {
    StoreVariant(process_.memory(), Element(descriptor, i), v);
  }
  VariantImage Get(Address descriptor, uint32_t i) {
    return LoadVariant(process_.memory(), Element(descriptor, i));
  }
  size_t Blocks() {
    size_t n = 0;
    process_.memory().ForEachBlock([&](Address, std::span<const uint8_t>) { ++n; });
    return n;
  }

  Process process_;
};

TEST_F(VariantArrayTest, AnArrayThatHoldsItselfCopiesToOneThatHoldsItself) {
  const Address a = VariantArray(2);
  Set(a, 0, VariantImage::Array(vbVariant, a));
  Set(a, 1, VariantImage::String(SysAllocString(process_, u"x")));
  const size_t before = Blocks();

  VariantImage copy = VariantCopy(process_, VariantImage::Array(vbVariant, a));
  const Address c = copy.pointer();
  EXPECT_NE(c, a);
  EXPECT_EQ(Get(c, 0).pointer(), c);
  EXPECT_NE(Get(c, 1).pointer(), Get(a, 1).pointer()) << "strings are copied";
  EXPECT_EQ(ReadString(process_.memory(), Get(c, 1).pointer()), u"x");

  VariantClear(process_, copy);
  EXPECT_EQ(Blocks(), before);
}

// Forty levels, each with two elements holding the next level: 2^40 paths
// but 40 arrays. The copy has 40 arrays sharing the same way.
TEST_F(VariantArrayTest, SharedNestedArraysAreCopiedOnce) {
  Address next = VariantArray(1);
  for (int level = 0; level < 40; ++level) {
    const Address a = VariantArray(2);
    Set(a, 0, VariantImage::Array(vbVariant, next));
    Set(a, 1, VariantImage::Array(vbVariant, next));
    next = a;
  }
  const size_t before = Blocks();
  VariantImage copy = VariantCopy(process_, VariantImage::Array(vbVariant, next));
  EXPECT_EQ(Blocks(), before + 2 * 41) << "a descriptor and data per array";
  EXPECT_EQ(Get(copy.pointer(), 0).pointer(), Get(copy.pointer(), 1).pointer());
  VariantClear(process_, copy);
  EXPECT_EQ(Blocks(), before);
}

// Erasing an array whose elements share a nested array frees it once.
TEST_F(VariantArrayTest, ClearingElementsThatShareAnArrayFreesItOnce) {
  const Address shared = VariantArray(1);
  const Address a = VariantArray(3);
  const size_t empty = Blocks();
  for (uint32_t i = 0; i < 3; ++i) Set(a, i, VariantImage::Array(vbVariant, shared));
  SafeArrayClearElements(process_, a);
  EXPECT_EQ(Blocks(), empty - 2);
  EXPECT_EQ(Get(a, 2).vt(), vbEmpty);
}

// A copy that fails half way (here at a nested descriptor whose data cannot
// be read) raises 5 and leaves no block behind.
TEST_F(VariantArrayTest, AFailedCopyFreesWhatItCopied) {
  const DeclaredBound bound{0, 3};
  const Address longs = SafeArrayCreate(process_, vbLong, std::span(&bound, 1));
  WriteUInt32(process_.memory(), longs + 12, 0x00600000);  // pvData into nothing
  const Address a = VariantArray(3);
  Set(a, 0, VariantImage::String(SysAllocString(process_, u"kept")));
  Set(a, 1, VariantImage::Array(vbVariant, VariantArray(2)));
  Set(a, 2, VariantImage::Array(vbLong, longs));
  const uint64_t mapped = process_.memory().mapped_bytes();
  EXPECT_EQ(ErrorOf([&] { VariantCopy(process_, VariantImage::Array(vbVariant, a)); }),
            kInvalidArgument);
  EXPECT_EQ(process_.memory().mapped_bytes(), mapped);
}

}  // namespace
}  // namespace dudUdudADOD::automation
