// The guarded reads of the real process: every kind of memory a stray
// pointer can land in ends in error 5, never a fault.
#include "windows/guarded_memory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "testutil/error_of.h"
#include "windows/guarded_copy.h"
#include "windows/win32.h"

namespace dudUdudADOD::windows {
namespace {

using testutil::ErrorOf;

Address At(const void* p) { return static_cast<Address>(reinterpret_cast<uintptr_t>(p)); }

// Two pages reserved together; the caller commits what it needs.
class Pages {
 public:
  Pages() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    page_ = info.dwPageSize;
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE, PAGE_NOACCESS));
  }
  ~Pages() {
    if (base_ != nullptr) VirtualFree(base_, 0, MEM_RELEASE);
  }
  Pages(const Pages&) = delete;
  Pages& operator=(const Pages&) = delete;

  uint8_t* Commit(int index, DWORD protect) {
    return static_cast<uint8_t*>(VirtualAlloc(base_ + index * page_, page_, MEM_COMMIT, protect));
  }
  // The first page, readable and writable, every byte `fill`; nullptr when
  // the system refuses it.
  uint8_t* CommitFilled(uint8_t fill) {
    uint8_t* data = Commit(0, PAGE_READWRITE);
    if (data != nullptr) std::memset(data, fill, page_);
    return data;
  }
  uint8_t* base() const { return base_; }
  uint32_t page() const { return page_; }
  void Release() {
    VirtualFree(base_, 0, MEM_RELEASE);
    base_ = nullptr;
  }

 private:
  uint32_t page_ = 0;
  uint8_t* base_ = nullptr;
};

int ReadError(const GuardedMemory& memory, Address at, uint32_t size) {
  std::vector<uint8_t> bytes(size);
  return ErrorOf([&] { memory.Read(at, bytes.data(), size); });
}

TEST(GuardedMemory, UnreadableMemoryOfEveryKindRaises5) {
  GuardedMemory memory;
  Pages no_access;
  ASSERT_NE(no_access.Commit(0, PAGE_NOACCESS), nullptr);
  Pages guard;
  ASSERT_NE(guard.Commit(0, PAGE_READWRITE | PAGE_GUARD), nullptr);
  Pages reserved;
  Pages freed;
  ASSERT_NE(freed.Commit(0, PAGE_READWRITE), nullptr);
  const Address freed_at = At(freed.base());
  freed.Release();

  for (const Address at : {At(no_access.base()), At(guard.base()), At(reserved.base()), freed_at,
                           Address{0}, Address{16}}) {
    SCOPED_TRACE(at);
    EXPECT_FALSE(memory.IsMapped(at, 4));
    EXPECT_EQ(memory.Span(at, 4), nullptr);
    EXPECT_EQ(ReadError(memory, at, 4), automation::kInvalidArgument);
  }
  // The guard page is still armed: nothing touched it.
  MEMORY_BASIC_INFORMATION info;
  ASSERT_EQ(VirtualQuery(guard.base(), &info, sizeof info), sizeof info);
  EXPECT_NE(info.Protect & PAGE_GUARD, 0u);
}

TEST(GuardedMemory, ARangeReadsOnlyWhenEveryPageOfItDoes) {
  GuardedMemory memory;
  Pages pages;
  uint8_t* first = pages.Commit(0, PAGE_READWRITE);
  ASSERT_NE(first, nullptr);
  const uint32_t page = pages.page();
  std::memset(first, 7, page);
  // Off the end of the committed region into the reserved page.
  EXPECT_EQ(ReadError(memory, At(first) + page - 2, 4), automation::kInvalidArgument);
  // Across two regions of different protection, both readable.
  uint8_t* second = pages.Commit(1, PAGE_READWRITE);
  ASSERT_NE(second, nullptr);
  second[0] = 9;
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(second, page, PAGE_READONLY, &old));
  uint8_t bytes[4] = {};
  GuardedMemory fresh;  // regions are remembered for the life of a call
  fresh.Read(At(first) + page - 2, bytes, 4);
  EXPECT_EQ(bytes[1], 7);
  EXPECT_EQ(bytes[2], 9);
  EXPECT_TRUE(fresh.IsMapped(At(first), 2 * uint64_t{page}));
  EXPECT_FALSE(fresh.IsWritable(At(first), 2 * uint64_t{page}));
  EXPECT_TRUE(fresh.IsWritable(At(first), page));
  // A range past the top of the address space wraps: never readable.
  EXPECT_FALSE(fresh.IsMapped(0xFFFFFFF0u, 0x20));
}

// The copy itself survives memory that goes away after the screen passed
// it: here there is no screen at all, only the copy and its handler.
TEST(GuardedCopy, AFaultEndsTheCopyInsteadOfTheProcess) {
  const FaultHandlerScope handler;
  ASSERT_TRUE(handler.active());
  Pages pages;
  uint8_t* data = pages.CommitFilled(3);
  ASSERT_NE(data, nullptr);
  std::vector<uint8_t> out(2 * pages.page());
  // Into the reserved page behind the committed one.
  EXPECT_FALSE(GuardedCopy(out.data(), data, out.size()));
  EXPECT_EQ(out[0], 3);  // what came before the fault is there
  EXPECT_TRUE(GuardedCopy(out.data(), data, pages.page()));
  pages.Release();
  EXPECT_FALSE(GuardedCopy(out.data(), data, 16));
  EXPECT_FALSE(GuardedCopy(out.data(), reinterpret_cast<const void*>(16), 16));
  // Faults outside the copy are not its business: the handler lets them by
  // (a test that they still reach their own handlers would fault here).
}

TEST(GuardedCopy, AGuardPageTouchedByTheCopyIsArmedAgain) {
  const FaultHandlerScope handler;
  Pages guard;
  ASSERT_NE(guard.Commit(0, PAGE_READWRITE | PAGE_GUARD), nullptr);
  uint8_t out[8];
  EXPECT_FALSE(GuardedCopy(out, guard.base(), sizeof out));
  MEMORY_BASIC_INFORMATION info;
  ASSERT_EQ(VirtualQuery(guard.base(), &info, sizeof info), sizeof info);
  EXPECT_NE(info.Protect & PAGE_GUARD, 0u);
}

// A span is a copy: formatting from it cannot fault when the client frees
// the memory it came from, and shows the bytes as they were.
TEST(GuardedMemory, ASpanOutlivesTheMemoryItCameFrom) {
  GuardedMemory memory;
  Pages pages;
  uint8_t* data = pages.Commit(0, PAGE_READWRITE);
  ASSERT_NE(data, nullptr);
  for (uint32_t i = 0; i < pages.page(); ++i) data[i] = static_cast<uint8_t>(i);
  const uint8_t* span = memory.Span(At(data), pages.page());
  ASSERT_NE(span, nullptr);
  EXPECT_NE(span, data);
  pages.Release();
  EXPECT_EQ(span[1], 1);
  EXPECT_EQ(span[pages.page() - 1], static_cast<uint8_t>(pages.page() - 1));
  // The range is gone: once what was seen is forgotten, reads fail cleanly.
  memory.Forget();
  EXPECT_EQ(ReadError(memory, At(data), 4), automation::kInvalidArgument);
  EXPECT_EQ(memory.Span(At(data), 4), nullptr);
}

// A region remembered from before the client freed it does not fault a
// read: the copy meets the freed page and the read raises 5.
TEST(GuardedMemory, ARememberedRegionThatWentAwayRaises5) {
  GuardedMemory memory;
  Pages pages;
  uint8_t* data = pages.Commit(0, PAGE_READWRITE);
  ASSERT_NE(data, nullptr);
  ASSERT_TRUE(memory.IsMapped(At(data), 4));  // remembered
  pages.Release();
  EXPECT_EQ(ReadError(memory, At(data), 4), automation::kInvalidArgument);
  uint8_t byte = 0;
  EXPECT_FALSE(memory.TryRead(At(data), &byte, 1));
}

// A reader's cached region spares the query, never the screen's verdict on
// a page that went: Forget (the owner's, before client code runs) drops it,
// and a page freed without one faults the guarded copy into nullptr.
TEST(GuardedMemory, RunBytesNeverTrustsACachedRegionOverThePage) {
  GuardedMemory memory;
  Pages pages;
  uint8_t* data = pages.CommitFilled(7);
  ASSERT_NE(data, nullptr);
  automation::ReadCache cache;
  uint8_t scratch[16];
  const uint8_t* run = memory.RunBytes(At(data) + 8, 16, scratch, cache);
  ASSERT_EQ(run, scratch) << "the real process hands out a copy";
  EXPECT_EQ(scratch[15], 7);
  EXPECT_EQ(memory.RunBytes(At(data) + pages.page() - 8, 16, scratch, cache), nullptr)
      << "past the region's end";
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(data, pages.page(), PAGE_NOACCESS, &old));
  memory.Forget();
  EXPECT_EQ(memory.RunBytes(At(data) + 8, 16, scratch, cache), nullptr);
  ASSERT_TRUE(VirtualProtect(data, pages.page(), PAGE_READWRITE, &old));
  memory.Forget();
  ASSERT_NE(memory.RunBytes(At(data) + 8, 16, scratch, cache), nullptr);  // cached again
  pages.Release();
  EXPECT_EQ(memory.RunBytes(At(data) + 8, 16, scratch, cache), nullptr);
  EXPECT_EQ(memory.RunBytes(At(data) + 8, 16, scratch, cache), nullptr);
}

// With room for more than it was asked, a copy takes as much as the room
// and the region allow, and says how much: up to the region's end, never
// past it, and never less than was asked.
TEST(GuardedMemory, RunBytesCopiesAsFarAsTheRoomAndTheRegionGo) {
  GuardedMemory memory;
  Pages pages;
  uint8_t* data = pages.CommitFilled(7);
  ASSERT_NE(data, nullptr);
  automation::ReadCache cache;
  uint8_t scratch[64];
  struct Case {
    uint32_t from_end;  // where the read starts, counted back from the region's end
    uint64_t readable;
  };
  for (const Case c : {Case{1000, 64}, Case{20, 20}, Case{4, 4}}) {
    SCOPED_TRACE(c.from_end);
    std::memset(scratch, 0, sizeof scratch);
    uint64_t readable = 0;
    const Address at = At(data) + pages.page() - c.from_end;
    ASSERT_EQ(memory.RunBytes(at, 4, scratch, cache, &readable, sizeof scratch), scratch);
    EXPECT_EQ(readable, c.readable);
    EXPECT_EQ(scratch[c.readable - 1], 7);
    if (c.readable < sizeof scratch) {
      EXPECT_EQ(scratch[c.readable], 0) << "copied past the region";
    }
  }
}

// Another thread takes the page away and gives it back while reads go on:
// every read gives the bytes or error 5, whichever it meets.
TEST(GuardedMemory, ReadsRaceAnotherThreadThatProtectsThePage) {
  GuardedMemory memory;
  Pages pages;
  uint8_t* data = pages.CommitFilled(1);
  ASSERT_NE(data, nullptr);
  std::atomic<bool> done{false};
  std::thread toggler([&] {
    DWORD old = 0;
    while (!done) {
      VirtualProtect(data, pages.page(), PAGE_NOACCESS, &old);
      VirtualProtect(data, pages.page(), PAGE_READWRITE, &old);
    }
  });
  int read = 0;
  int refused = 0;
  std::vector<uint8_t> bytes(pages.page());
  for (int i = 0; i < 20000; ++i) {
    if (memory.TryRead(At(data), bytes.data(), pages.page())) {
      ++read;
      EXPECT_EQ(bytes[pages.page() - 1], 1);
    } else {
      ++refused;
    }
  }
  done = true;
  toggler.join();
  EXPECT_EQ(read + refused, 20000);
}

}  // namespace
}  // namespace dudUdudADOD::windows
