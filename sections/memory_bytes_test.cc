#include "sections/memory_bytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "automation/runtime_error.h"
#include "model/process.h"
#include "testutil/golden.h"

namespace dudUdudADOD::sections {
namespace {

using automation::Address;
using automation::Process;

// Outside the modelled stack and heap; exactly the test's bytes are mapped
// there, so a read one byte further fails with error 5.
constexpr Address kScratch = 0x00010000;
constexpr auto kAt = static_cast<int32_t>(kScratch);

void PutBytes(Process& process, const std::vector<uint8_t>& bytes) {
  process.memory().Map(kScratch, static_cast<uint32_t>(bytes.size()));
  process.memory().Write(kScratch, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// Every mapped block outside the stack: the dump's array must be freed. (Stack
// pages stay committed and popped frames keep their bytes, as on a real stack;
// the stack pointer is compared instead.)
std::map<Address, std::vector<uint8_t>> HeapBlocks(const Process& process) {
  std::map<Address, std::vector<uint8_t>> blocks;
  process.memory().ForEachBlock([&blocks, &process](Address at, std::span<const uint8_t> bytes) {
    if (!process.stack().InReserve(at, bytes.size()))
      blocks.emplace(at, std::vector<uint8_t>(bytes.begin(), bytes.end()));
  });
  return blocks;
}

TEST(MemoryBytes, EachByteInDecimalFollowedBySpace) {
  struct Case {
    std::vector<uint8_t> memory;
    int32_t count;
    const char16_t* expected;
  } const cases[] = {
      {{2, 1}, 2, u"2 1 "},  // the Integer 258, low byte first
      {{72, 0, 105, 0}, 4, u"72 0 105 0 "},
      {{255}, 1, u"255 "},
      {{0, 0, 0, 0, 0, 0, 240, 63}, 8, u"0 0 0 0 0 0 240 63 "},  // the Double 1
      {{7, 8, 9}, 2, u"7 8 "},
  };
  for (const Case& c : cases) {
    Process process;
    PutBytes(process, c.memory);
    const Address stack_pointer = process.stack().pointer();
    const auto heap = HeapBlocks(process);
    EXPECT_SAME_TEXT(MemoryBytes(process, kAt, c.count), c.expected);
    EXPECT_EQ(HeapBlocks(process), heap);
    EXPECT_EQ(process.stack().pointer(), stack_pointer);
  }
}

TEST(MemoryBytes, AddressAbove2GiBComesAsNegativeLong) {
  Process process;
  process.memory().Map(0x80000000u, 1);
  EXPECT_SAME_TEXT(MemoryBytes(process, INT32_MIN, 1), u"0 ");
}

TEST(MemoryBytes, FailuresLeaveNothingBehind) {
  struct Case {
    const char* name;
    int32_t address, count;
    int error;
  } const cases[] = {
      {"count 0: no element 0", kAt, 0, 9},
      // A negative count is refused before any read: an unmapped address
      // still gives 9, not the read error 5.
      {"negative count", kAt, -1, 9},
      {"negative count, unmapped", 0x00020000, -4, 9},
      {"most negative count", kAt, INT32_MIN, 9},
      {"past the mapped bytes", kAt, 5, 5},
      {"unmapped", 0x00020000, 1, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Process process;
    PutBytes(process, {1, 2, 3, 4});
    const Address stack_pointer = process.stack().pointer();
    const auto heap = HeapBlocks(process);
    try {
      MemoryBytes(process, c.address, c.count);
      ADD_FAILURE() << "no error raised";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), c.error);
    }
    EXPECT_EQ(HeapBlocks(process), heap);
    EXPECT_EQ(process.stack().pointer(), stack_pointer);
  }
}

}  // namespace
}  // namespace dudUdudADOD::sections
