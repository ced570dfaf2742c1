// Descriptor snapshots: what is copied, the data byte totals, and refusals.
#include "automation/safe_array_desc.h"

#include <gtest/gtest.h>

#include <vector>

#include "automation/runtime_error.h"
#include "model/client.h"
#include "model/safe_array_heap.h"
#include "model/variant_memory.h"

namespace dudUdudADOD::automation {
namespace {

struct Snapshot {
  SafeArrayDesc desc;
  int32_t total = -1;
};

Snapshot Take(Process& p, Address cell) {
  StackFrame frame(p.stack());
  const Address record = p.stack().Push(SafeArrayDescSize(kWin32Layout));
  Snapshot s;
  ReadSafeArrayDesc(p, record, cell, s.total);
  s.desc = SafeArrayDesc::Load(p.memory(), record);
  return s;
}

TEST(ReadSafeArrayDescTest, TotalsAndBoundsInStoredOrder) {
  struct Case {
    uint16_t type;
    std::vector<DeclaredBound> bounds;
    int32_t total;
  };
  const Case cases[] = {
      {vbLong, {{1, 10}}, 40},  {vbInteger, {{0, 2}, {1, 4}}, 24},
      {vbString, {{0, 4}}, 20}, {vbVariant, {{0, 2}}, 48},
      {vbByte, {{0, -1}}, 0},
  };
  for (const Case& c : cases) {
    Process p;
    Client client(p);
    const Variable a = client.DimArray(c.type, c.bounds);
    const Snapshot s = Take(p, a.address);
    EXPECT_EQ(s.total, c.total);
    ASSERT_EQ(s.desc.cDims, static_cast<int16_t>(c.bounds.size()));
    for (size_t k = 0; k < c.bounds.size(); ++k) {
      const DeclaredBound& declared = c.bounds[c.bounds.size() - 1 - k];
      EXPECT_EQ(s.desc.rgsabound[k].lLbound, declared.lower);
      EXPECT_EQ(s.desc.rgsabound[k].cElements, declared.upper - declared.lower + 1);
    }
  }
}

TEST(ReadSafeArrayDescTest, ArrayWithoutStorageLeavesTheRecordCleared) {
  Process p;
  Client client(p);
  const Variable d = client.DimDynamicArray(vbLong);
  const Snapshot s = Take(p, d.address);
  EXPECT_EQ(s.total, 0);
  EXPECT_EQ(s.desc.cDims, 0);
  EXPECT_EQ(s.desc.pvData, 0u);
}

// A descriptor written by hand at `at`, with its address in a cell after it.
Address HandMadeDescriptor(Process& p, Address at, int16_t dims, int32_t element_size,
                           std::vector<int32_t> counts) {
  p.memory().Map(at, 1024);
  WriteInt16(p.memory(), at, dims);
  WriteInt32(p.memory(), at + 4, element_size);
  WriteUInt32(p.memory(), at + 12, 0x00500000);
  for (size_t k = 0; k < counts.size(); ++k) {
    WriteInt32(p.memory(), at + 16 + 8 * static_cast<Address>(k), counts[k]);
  }
  WriteUInt32(p.memory(), at + 1020, static_cast<uint32_t>(at));
  return at + 1020;
}

TEST(ReadSafeArrayDescTest, NoDimensionsCopiesOnlyTheHead) {
  Process p;
  const Address cell = HandMadeDescriptor(p, 0x00400000, 0, 12, {7});
  const Snapshot s = Take(p, cell);
  EXPECT_EQ(s.total, 12);
  EXPECT_EQ(s.desc.rgsabound[0].cElements, 0) << "bound slots past cDims are not copied";
}

TEST(ReadSafeArrayDescTest, LyingDescriptorsEndInErrorsNotInWritesPastTheRecord) {
  struct Case {
    int16_t dims;
    int32_t element_size;
    std::vector<int32_t> counts;
    int error;
  };
  const Case cases[] = {
      {61, 4, {}, kSubscriptOutOfRange},
      {-1, 4, {}, kSubscriptOutOfRange},
      {2, 1, {65536, 65536}, kOverflow},  // element count past a Long
      {1, 16, {0x08000000}, kOverflow},   // byte total past a Long
  };
  for (const Case& c : cases) {
    Process p;
    const Address cell = HandMadeDescriptor(p, 0x00400000, c.dims, c.element_size, c.counts);
    try {
      Take(p, cell);
      ADD_FAILURE() << "no error for cDims " << c.dims;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), c.error);
    }
  }
}

// Where the descriptor's address stands for each way an array is passed: a
// by-reference Variant is read as the caller's runtime reads it, the
// element's own variant first, then what that variant refers to.
TEST(DescriptorCellTest, ByReferenceVariantsAreFollowedToTheirOwnVariant) {
  Process p;
  Client client(p);
  AddressSpace& memory = p.memory();
  const DeclaredBound bound{1, 2};
  const Variable a = client.DimArray(vbLong, std::span(&bound, 1));
  const Address descriptor = ReadPointer(memory, a.address);
  const Variable holder = client.Dim(vbVariant);  // holds the array itself
  StoreVariant(memory, holder.address, VariantImage::Array(vbLong, descriptor));
  const Variable referrer = client.Dim(vbVariant);  // refers to the array variable
  StoreVariant(memory, referrer.address,
               VariantImage::Reference(static_cast<uint16_t>(vbArray | vbLong), a.address));
  const Variable loop = client.Dim(vbVariant);  // a by-reference Variant inside one
  StoreVariant(memory, loop.address, VariantImage::Reference(vbVariant, holder.address));
  const auto by_ref = [&](uint16_t type, Address target) {
    return client.PassValue(VariantImage::Reference(type, target));
  };
  const struct {
    Address var;
    Address cell;
  } cases[] = {
      {by_ref(static_cast<uint16_t>(vbArray | vbLong), a.address), a.address},
      {client.PassValue(VariantImage::Array(vbLong, descriptor)), 0},  // its own data field
      {by_ref(vbVariant, holder.address), holder.address + kDataFieldOffset},
      {by_ref(vbVariant, referrer.address), a.address},
  };
  for (const auto& c : cases) {
    const Address expected = c.cell != 0 ? c.cell : c.var + kDataFieldOffset;
    EXPECT_EQ(DescriptorCell(memory, c.var), expected);
    EXPECT_EQ(ReadPointer(memory, DescriptorCell(memory, c.var)), descriptor);
  }
  // A by-reference Variant that refers to another is refused, as the
  // runtime refuses it.
  EXPECT_THROW(
      try {
        DescriptorCell(memory, by_ref(vbVariant, loop.address));
      } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), kTypeMismatch);
        throw;
      },
      RuntimeError);
}

}  // namespace
}  // namespace dudUdudADOD::automation
