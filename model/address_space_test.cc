// The modelled address space, heap and stack: reads never fault, addresses
// are deterministic, and the 2 GiB limit holds before host memory is taken.
#include "model/address_space.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>

#include "automation/bstr.h"
#include "automation/runtime_error.h"
#include "model/bstr_heap.h"
#include "model/client.h"
#include "model/process.h"
#include "testutil/error_of.h"

namespace dudUdudADOD::automation {
namespace {

using testutil::ErrorOf;

TEST(AddressSpaceTest, ReadsAcrossAdjacentBlocksButNotIntoGaps) {
  AddressSpace m;
  m.Map(0x1000, 8);
  m.Map(0x1008, 8);
  m.Map(0x2000, 4);
  WriteUInt32(m, 0x1006, 0x04030201);  // straddles the two blocks
  EXPECT_EQ(ReadUInt32(m, 0x1006), 0x04030201u);
  EXPECT_TRUE(m.IsMapped(0x1000, 16));
  EXPECT_FALSE(m.IsMapped(0x1000, 17));
  uint8_t buffer[4];
  EXPECT_EQ(ErrorOf([&] { m.Read(0x100E, buffer, 4); }), kInvalidArgument);
  EXPECT_EQ(ErrorOf([&] { m.Read(0xFFFFFFFE, buffer, 4); }), kInvalidArgument);
  EXPECT_EQ(ErrorOf([&] { m.Write(0x1FFF, buffer, 2); }), kInvalidArgument);
  EXPECT_EQ(ReadUInt32(m, 0x2000), 0u) << "a failed write changes nothing";
}

// RunBytes hands out a block's own bytes, whole ranges within one block
// only, from a cache that must never outlive the block it remembers.
TEST(AddressSpaceTest, RunBytesReadsWithinOneBlockThroughTheReadersCache) {
  AddressSpace m;
  m.Map(0x1000, 8);
  m.Map(0x1008, 8);
  for (uint8_t i = 0; i < 16; ++i) m.Write(0x1000 + i, &i, 1);
  ReadCache cache;
  uint8_t scratch[16];
  struct Case {
    Address at;
    uint32_t size;
    bool whole;  // the range lies in one block
  };
  const Case cases[] = {{0x1002, 6, true},  {0x1002, 7, false}, {0x1008, 8, true},
                        {0x1010, 1, false}, {0x0FFF, 2, false}, {0x1004, 4, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.at);
    const uint8_t* run = m.RunBytes(c.at, c.size, scratch, cache);
    ASSERT_EQ(run != nullptr, c.whole);
    for (uint32_t i = 0; c.whole && i < c.size; ++i) EXPECT_EQ(run[i], c.at - 0x1000 + i);
  }
  // What may be read past the range is what its block holds, no more.
  uint64_t readable = 0;
  ASSERT_NE(m.RunBytes(0x1002, 2, scratch, cache, &readable), nullptr);
  EXPECT_EQ(readable, 6u);
  ASSERT_NE(m.RunBytes(0x1008, 2, scratch, cache, &readable), nullptr);
  EXPECT_EQ(readable, 8u);
}

TEST(AddressSpaceTest, ACachedBlockIsNeverReadAfterItGoes) {
  AddressSpace m;
  m.Map(0x1000, 16);
  WriteUInt32(m, 0x1000, 0x11111111);
  ReadCache cache;
  uint8_t scratch[8];
  ASSERT_NE(m.RunBytes(0x1000, 16, scratch, cache), nullptr);
  // The same address, a smaller block with other bytes: the cache's block
  // and its bytes are gone.
  m.Unmap(0x1000);
  EXPECT_EQ(m.RunBytes(0x1000, 4, scratch, cache), nullptr);
  m.Map(0x1000, 8);
  WriteUInt32(m, 0x1000, 0x22222222);
  const uint8_t* run = m.RunBytes(0x1000, 4, scratch, cache);
  ASSERT_NE(run, nullptr);
  EXPECT_EQ(run[0], 0x22);
  EXPECT_EQ(m.RunBytes(0x1000, 16, scratch, cache), nullptr) << "the old block's length";
  // A block mapped after the cache was filled is found too.
  m.Map(0x3000, 4);
  EXPECT_NE(m.RunBytes(0x3000, 4, scratch, cache), nullptr);
}

// A walk steps from the block it found last to the one after it: blocks
// mapped between two others, or gone from between them, are stepped to, or
// over, as the space now holds them.
TEST(AddressSpaceTest, AWalkInAddressOrderFollowsBlocksMappedAndUnmappedBetween) {
  AddressSpace m;
  const auto fill = [&](Address at) {
    m.Map(at, 16);
    WriteUInt32(m, at, static_cast<uint32_t>(at));
  };
  for (Address at : {0x1000u, 0x1040u, 0x1080u}) fill(at);
  fill(0x1020);  // between the first two
  m.Unmap(0x1040);
  fill(0x1060);  // where the gone block's successor stood
  const auto walk = [&](std::vector<Address> in_order) {
    ReadCache cache;
    uint8_t scratch[4];
    for (Address at : in_order) {
      SCOPED_TRACE(at);
      const uint8_t* run = m.RunBytes(at, 4, scratch, cache);
      ASSERT_NE(run, nullptr);
      uint32_t value;
      std::memcpy(&value, run, 4);
      EXPECT_EQ(value, at);
    }
  };
  walk({0x1000, 0x1020, 0x1060, 0x1080});
  m.Unmap(0x1060);
  m.Unmap(0x1080);
  walk({0x1000, 0x1020});
  ReadCache cache;
  uint8_t scratch[4];
  ASSERT_NE(m.RunBytes(0x1020, 4, scratch, cache), nullptr);
  EXPECT_EQ(m.RunBytes(0x1060, 4, scratch, cache), nullptr);
}

// Caches carry no block from one space to another, even at one address.
TEST(AddressSpaceTest, ACacheFilledByOneSpaceMissesInAnother) {
  AddressSpace a;
  AddressSpace b;
  a.Map(0x1000, 64);
  b.Map(0x1000, 8);
  WriteUInt32(b, 0x1000, 0x33333333);
  ReadCache cache;
  uint8_t scratch[64];
  ASSERT_NE(a.RunBytes(0x1000, 64, scratch, cache), nullptr);
  EXPECT_EQ(b.RunBytes(0x1000, 64, scratch, cache), nullptr);
  const uint8_t* run = b.RunBytes(0x1000, 4, scratch, cache);
  ASSERT_NE(run, nullptr);
  EXPECT_EQ(run[3], 0x33);
}

// More blocks than a cache keeps, met in turn and out of order (the next
// block after the latest is tried first): every read finds its own block.
TEST(AddressSpaceTest, TwoThreadsReadManyBlocksEachThroughItsOwnCache) {
  AddressSpace m;
  constexpr uint32_t kBlocks = 64;
  for (uint32_t i = 0; i < kBlocks; ++i) {
    m.Map(0x10000 + 0x20 * i, 0x18);
    WriteUInt32(m, 0x10000 + 0x20 * i + 0x14, i);
  }
  const auto reader = [&m](uint32_t step, int* wrong) {
    ReadCache cache;
    uint8_t scratch[4];
    for (uint32_t k = 0; k < 20000; ++k) {
      const uint32_t i = (k * step + k / 7) % kBlocks;
      const uint8_t* run = m.RunBytes(0x10000 + 0x20 * i + 0x14, 4, scratch, cache);
      uint32_t got = ~0u;
      if (run != nullptr) std::memcpy(&got, run, 4);
      if (got != i) ++*wrong;
    }
  };
  int wrong[2] = {0, 0};
  std::thread other(reader, 1, &wrong[1]);
  reader(5, &wrong[0]);
  other.join();
  EXPECT_EQ(wrong[0], 0);
  EXPECT_EQ(wrong[1], 0);
}

TEST(AddressSpaceTest, RefusesOverlapsWrapsAndMoreThanTwoGigabytes) {
  AddressSpace m;
  m.Map(0x1000, 0x100);
  EXPECT_EQ(ErrorOf([&] { m.Map(0x10FF, 1); }), kInvalidArgument);
  EXPECT_EQ(ErrorOf([&] { m.Map(0xFFFFFFF0, 0x20); }), kInvalidArgument);
  EXPECT_EQ(ErrorOf([&] { m.Map(0x2000, 0); }), kInvalidArgument);
  if (sizeof(void*) < 8) GTEST_SKIP() << "a 32-bit host cannot hold the model's 2 GiB";
  m.Map(0x80000000, 0x7FFFFF00);
  EXPECT_EQ(ErrorOf([&] { m.Map(0x10000, 0x200); }), kOutOfMemory);
  EXPECT_EQ(m.mapped_bytes(), 0x100u + 0x7FFFFF00u);
  m.Unmap(0x80000000);
  EXPECT_EQ(m.mapped_bytes(), 0x100u);
}

TEST(HeapTest, SameAllocationsGiveSameAddressesAndTopmostFreesAreReused) {
  Process a, b;
  for (uint32_t size : {1u, 7u, 100u, 3u})
    EXPECT_EQ(a.heap().Allocate(size), b.heap().Allocate(size));
  const Address first = a.heap().Allocate(16);
  const Address second = a.heap().Allocate(16);
  EXPECT_GT(second, first + 16) << "an unmapped gap follows every block";
  a.heap().Free(second);
  a.heap().Free(first);
  EXPECT_EQ(a.heap().Allocate(16), first);
  EXPECT_EQ(a.heap().AllocateData(4), kWin32Plan.data_base);
}

TEST(HeapTest, FreedRoomIsTakenAgainWhateverTheOrderOfFrees) {
  Process p;
  Heap& heap = p.heap();
  const Address a = heap.Allocate(100);
  const Address b = heap.Allocate(24);
  const Address c = heap.Allocate(8);
  heap.Free(a);  // not the last one allocated
  EXPECT_EQ(heap.Allocate(40), a) << "a smaller block takes the start of the room";
  const Address rest = heap.Allocate(40);
  EXPECT_GT(rest, a);
  EXPECT_LT(rest, b) << "and the next one the rest of it";
  // Freed neighbours join: what is left of a's room, b's and c's make one
  // range, which a block larger than b alone fits.
  heap.Free(b);
  heap.Free(c);
  EXPECT_EQ(heap.Allocate(40), rest + 48);
  // A block freed and taken again, over and over, never climbs.
  for (int i = 0; i < 1000; ++i) {
    const Address big = heap.AllocateData(1 << 20);
    const Address small = heap.AllocateData(4);
    heap.Free(big);
    heap.Free(small);
    ASSERT_EQ(big, kWin32Plan.data_base);
  }
}

// Freed neighbours join whichever of them goes first: four blocks freed in
// each of the 24 orders leave one range, which a block of all their room
// takes at the first one's address.
TEST(HeapTest, NeighboursFreedInAnyOrderMakeOneRange) {
  std::array<int, 4> order = {0, 1, 2, 3};
  do {
    Process p;
    Heap& heap = p.heap();
    std::array<Address, 4> blocks{};
    for (Address& block : blocks) block = heap.Allocate(16);
    const Address top = heap.Allocate(16);  // keeps the room off the bump pointer
    const Address gap = blocks[1] - blocks[0] - 16;
    for (int i : order) heap.Free(blocks[static_cast<size_t>(i)]);
    EXPECT_EQ(heap.Allocate(static_cast<uint32_t>(top - blocks[0] - gap)), blocks[0])
        << order[0] << order[1] << order[2] << order[3];
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST(HeapTest, AllocationSkipsBlocksPlacedInsideItsRange) {
  Process p;
  p.memory().Map(kWin32Plan.data_base, 0x10000);
  const Address data = p.heap().AllocateData(4);
  EXPECT_GE(data, kWin32Plan.data_base + 0x10000);
}

TEST(StackTest, ClientFrameGivesTheFamiliarAddresses) {
  Process p;
  Client c(p);
  const Variable x = c.Dim(vbLong);
  EXPECT_EQ(x.address, 1243024u);
  EXPECT_EQ(c.Pass(x), 1242980u);
}

TEST(StackTest, PlacedVariablesAreNeverOverwrittenByLaterFrames) {
  Process p;
  Stack& stack = p.stack();
  stack.Place(1242000, 16);
  EXPECT_LE(stack.pointer(), 1242000u);
  EXPECT_EQ(ErrorOf([&] { stack.Place(1242008, 4); }), kInvalidArgument);
  EXPECT_EQ(ErrorOf([&] { stack.Place(kWin32Plan.stack_top - 2, 4); }), kInvalidArgument);
  EXPECT_LT(stack.Push(8), 1242000u);
}

TEST(StackTest, PlacementMayStraddleTheStartOfAnEmptyClientFrame) {
  Process p;
  Stack& stack = p.stack();
  stack.Place(kWin32Plan.client_frame - 4, 8);  // nothing pushed yet: nothing in use
  EXPECT_EQ(stack.pointer(), kWin32Plan.client_frame - 4);
  const Address pushed = stack.Push(4);
  EXPECT_EQ(pushed, kWin32Plan.client_frame - 8);
  EXPECT_EQ(ErrorOf([&] { stack.Place(pushed - 2, 4); }), kInvalidArgument)
      << "what the frame holds is in use";
}

TEST(StackTest, RunningOutOfStackRaises28) {
  Process p;
  EXPECT_EQ(ErrorOf([&] { p.stack().Push(Stack::kReserve); }), kOutOfStackSpace);
}

TEST(StringTest, WildLengthPrefixFailsBeforeAnyHostAllocation) {
  Process p;
  const Address s = SysAllocString(p, u"abc");
  EXPECT_EQ(ReadString(p.memory(), s), u"abc");
  WriteUInt32(p.memory(), s - 4, 0xFFFFFFF0);
  EXPECT_EQ(ErrorOf([&] { ReadString(p.memory(), s); }), kInvalidArgument);
  EXPECT_EQ(ReadString(p.memory(), 0), u"");
}

}  // namespace
}  // namespace dudUdudADOD::automation
