// The footprint against sizes counted by hand from the platform's layouts.
#include "inspector/footprint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "automation/bstr.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "automation/variant.h"
#include "model/bstr_heap.h"
#include "model/client.h"
#include "model/safe_array_heap.h"
#include "model/variant_memory.h"
#include "testutil/error_of.h"

namespace dudUdudADOD {
namespace {

using namespace automation;  // the platform model is this test's vocabulary

// The bytes of each kind, in BlockKind order, and the total.
struct Counted {
  std::array<uint64_t, kBlockKinds> bytes;
  uint64_t total;
};

void ExpectCounted(const FootprintFact& f, const Counted& expected) {
  for (size_t k = 0; k < kBlockKinds; ++k) {
    EXPECT_EQ(f.kinds[k].bytes, expected.bytes[k]) << BlockKindName(static_cast<BlockKind>(k));
  }
  EXPECT_EQ(f.total, expected.total);
  uint64_t listed = 0;
  for (const BlockFact& block : f.blocks) listed += block.size;
  if (f.unlisted_strings == 0) {
    EXPECT_EQ(listed, f.total) << "every block listed once";
  }
}

class FootprintTest : public testing::Test {
 protected:
  Process process_;
  Client client_{process_};
};

TEST_F(FootprintTest, ScalarsPassedByReference) {
  const Variable x = client_.Dim(vbLong);
  ExpectCounted(MeasureFootprint(process_, client_.Pass(x)), {{16, 4, 0, 0, 0}, 20});

  const Variable s = client_.Dim(vbString);
  client_.Assign(s, VariantImage::String(SysAllocString(process_, u"abc")));
  // Prefix 4, text 6, terminator 2.
  ExpectCounted(MeasureFootprint(process_, client_.Pass(s)), {{16, 4, 0, 0, 12}, 32});

  const Variable d = client_.Dim(vbDouble);
  ExpectCounted(MeasureFootprint(process_, client_.Pass(d)), {{16, 8, 0, 0, 0}, 24});
}

// Dim a(1 To 2, 0 To 2, 1 To 4) As Long: a descriptor with 16 bytes before
// it and three bounds, 24 elements of 4 bytes.
TEST_F(FootprintTest, ThreeDimensionalArray) {
  const std::vector<DeclaredBound> bounds{{1, 2}, {0, 2}, {1, 4}};
  const Variable a = client_.DimArray(vbLong, bounds);
  const FootprintFact f = MeasureFootprint(process_, client_.Pass(a));
  ExpectCounted(f, {{16, 4, 16 + 16 + 3 * 8, 96, 0}, 16 + 4 + 56 + 96});
  const BlockFact& descriptor = f.blocks[2];
  EXPECT_EQ(descriptor.kind, BlockKind::kDescriptor);
  EXPECT_EQ(descriptor.prefix, 16u);
  EXPECT_EQ(descriptor.parent, a.address) << "the cell points at the descriptor";
}

TEST_F(FootprintTest, ArrayWithoutStorageIsItsCellAlone) {
  const Variable d = client_.DimDynamicArray(vbLong);
  ExpectCounted(MeasureFootprint(process_, client_.Pass(d)), {{16, 4, 0, 0, 0}, 20});
}

// Three elements: "ab", the same "ab" again (one body), and "" (a body of
// prefix and terminator); a fourth holds no string at all.
TEST_F(FootprintTest, SharedStringsCountOnceAndEmptyOnesCountTheirOverhead) {
  const DeclaredBound bound{1, 4};
  const Variable a = client_.DimArray(vbString, std::span(&bound, 1));
  AddressSpace& memory = process_.memory();
  const Address data = SafeArrayData(memory, ReadUInt32(memory, a.address));
  const Address ab = SysAllocString(process_, u"ab");
  WritePointer(memory, data, ab);
  WritePointer(memory, data + 4, ab);
  WritePointer(memory, data + 8, SysAllocString(process_, u""));
  const FootprintFact f = MeasureFootprint(process_, client_.Pass(a));
  ExpectCounted(f, {{16, 4, 16 + 16 + 8, 16, 10 + 6}, 16 + 4 + 40 + 16 + 16});
  EXPECT_EQ(f.of(BlockKind::kString).blocks, 2u);
}

// A Variant passed as itself is the argument: no separate cell. Its array's
// elements hold a string and a nested array twice: the nested array counts
// once.
TEST_F(FootprintTest, VariantHoldingArraysCountsEachArrayOnce) {
  const DeclaredBound two{0, 1};
  const Address nested = SafeArrayCreate(process_, vbByte, std::span(&two, 1));
  const DeclaredBound three{0, 2};
  const Address outer = SafeArrayCreate(process_, vbVariant, std::span(&three, 1));
  AddressSpace& memory = process_.memory();
  const Address data = SafeArrayData(memory, outer);
  StoreVariant(memory, data, VariantImage::String(SysAllocString(process_, u"hey")));
  StoreVariant(memory, data + 16, VariantImage::Array(vbByte, nested));
  StoreVariant(memory, data + 32, VariantImage::Array(vbByte, nested));
  const Variable v = client_.Dim(vbVariant);
  StoreVariant(memory, v.address, VariantImage::Array(vbVariant, outer));
  const FootprintFact f = MeasureFootprint(process_, client_.Pass(v));
  ExpectCounted(f, {{16, 0, 2 * 40, 48 + 2, 4 + 6 + 2}, 16 + 80 + 50 + 12});
}

TEST_F(FootprintTest, ManyStringsAreCountedButFewListed) {
  const DeclaredBound bound{1, 100};
  const Variable a = client_.DimArray(vbString, std::span(&bound, 1));
  AddressSpace& memory = process_.memory();
  const Address data = SafeArrayData(memory, ReadUInt32(memory, a.address));
  for (uint32_t i = 0; i < 100; ++i)
    WritePointer(memory, data + 4 * i, SysAllocString(process_, u"x"));
  const FootprintFact f = MeasureFootprint(process_, client_.Pass(a));
  EXPECT_EQ(f.of(BlockKind::kString).blocks, 100u);
  EXPECT_EQ(f.of(BlockKind::kString).bytes, 800u);
  EXPECT_EQ(f.unlisted_strings, 100u - kListedStrings);
}

// A string counts only where the report could read it: a pointer to
// nothing, and a prefix whose length runs past the memory, both raise 5.
TEST_F(FootprintTest, AStringThatCannotBeReadRaises5) {
  const Variable s = client_.Dim(vbString);
  WriteUInt32(process_.memory(), s.address, 0x00600000);
  EXPECT_EQ(testutil::ErrorOf([&] { MeasureFootprint(process_, client_.Pass(s)); }),
            kInvalidArgument);

  const Address body = SysAllocString(process_, u"abc");
  WriteUInt32(process_.memory(), body - 4, 0x7FFFFFF6);  // 2 GiB claimed
  WritePointer(process_.memory(), s.address, body);
  EXPECT_EQ(testutil::ErrorOf([&] { MeasureFootprint(process_, client_.Pass(s)); }),
            kInvalidArgument);
}

// The walk that stops keeps what it counted before the block that stopped
// it, and says which block that was.
TEST_F(FootprintTest, AReadableMeasureStopsWhereTheMemoryEnds) {
  const DeclaredBound bound{1, 3};
  const Variable a = client_.DimArray(vbString, std::span(&bound, 1));
  AddressSpace& memory = process_.memory();
  const Address data = SafeArrayData(memory, ReadUInt32(memory, a.address));
  WritePointer(memory, data, SysAllocString(process_, u"ab"));
  WritePointer(memory, data + 4, 0x00600000);
  const FootprintFact f = MeasureReadable(process_, client_.Pass(a));
  ASSERT_TRUE(f.stopped);
  EXPECT_EQ(f.stopped->number, kInvalidArgument);
  EXPECT_EQ(f.stopped->kind, BlockKind::kString);
  EXPECT_EQ(f.stopped->address, 0x00600000u - 4);
  ExpectCounted(f, {{16, 4, 16 + 16 + 8, 12, 10}, 16 + 4 + 40 + 12 + 10});

  EXPECT_FALSE(MeasureReadable(process_, client_.Pass(client_.Dim(vbLong))).stopped);
}

// A descriptor whose features ask for the 16 bytes before it, lying where
// they cannot be: they do not count, and no address wraps below 0.
TEST_F(FootprintTest, APrefixThatIsNotThereDoesNotCount) {
  AddressSpace& memory = process_.memory();
  memory.Map(0, 64);
  memory.Map(0x2000, 64);
  for (const Address descriptor : {Address{4}, Address{0x2004}}) {
    WriteInt16(memory, descriptor, 1);
    WriteInt16(memory, descriptor + 2, static_cast<int16_t>(FADF_HAVEVARTYPE));
    const Variable cell = client_.Dim(vbLong);
    WritePointer(memory, cell.address, descriptor);
    const Address arg = client_.PassValue(
        VariantImage::Reference(static_cast<uint16_t>(vbArray | vbLong), cell.address));
    const FootprintFact f = MeasureFootprint(process_, arg);
    EXPECT_EQ(f.of(BlockKind::kDescriptor).bytes, 24u) << descriptor;
    for (const BlockFact& block : f.blocks) EXPECT_LT(block.address, 0x100000000u);
  }
}

// Past kListedBlocks arrays the lowest ones are listed and every one is
// counted; each array is counted once however many elements hold it.
TEST_F(FootprintTest, ManyArraysAreCountedButTheLowestListed) {
  constexpr uint32_t kArrays = kListedBlocks / 2 + 10;  // two blocks each
  const DeclaredBound outer_bound{0, 2 * kArrays - 1};
  const Address outer = SafeArrayCreate(process_, vbVariant, std::span(&outer_bound, 1));
  AddressSpace& memory = process_.memory();
  const Address data = SafeArrayData(memory, outer);
  const DeclaredBound one{0, 0};
  for (uint32_t i = 0; i < kArrays; ++i) {
    const Address nested = SafeArrayCreate(process_, vbByte, std::span(&one, 1));
    StoreVariant(memory, data + 32 * i, VariantImage::Array(vbByte, nested));
    StoreVariant(memory, data + 32 * i + 16, VariantImage::Array(vbByte, nested));
  }
  const Variable v = client_.Dim(vbVariant);
  StoreVariant(memory, v.address, VariantImage::Array(vbVariant, outer));
  const FootprintFact f = MeasureFootprint(process_, client_.Pass(v));
  EXPECT_EQ(f.of(BlockKind::kDescriptor).blocks, kArrays + 1);
  EXPECT_EQ(f.of(BlockKind::kData).blocks, kArrays + 1);
  EXPECT_EQ(f.unlisted_blocks, 2 * (kArrays + 1) - kListedBlocks);
  ASSERT_EQ(f.blocks.size(), kListedBlocks + 1);  // and the argument
  EXPECT_TRUE(
      std::is_sorted(f.blocks.begin(), f.blocks.end(),
                     [](const BlockFact& a, const BlockFact& b) { return a.address < b.address; }));
}

}  // namespace
}  // namespace dudUdudADOD
