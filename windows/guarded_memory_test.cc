// The guarded reads of the real process: every kind of memory a stray
// pointer can land in ends in error 5, never a fault.
#include "windows/guarded_memory.h"

#include <gtest/gtest.h>

#include <cstring>

#include "testutil/error_of.h"
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

}  // namespace
}  // namespace dudUdudADOD::windows
