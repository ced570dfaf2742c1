// The error forms under an allocation failure: they run after the object
// has caught a run-time error, where nothing catches for them, so an
// exception of theirs would unwind into the host.
#include "windows/com_error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// While set, every allocation through operator new fails.
std::atomic<bool> g_out_of_memory{false};

class OutOfMemory {
 public:
  OutOfMemory() { g_out_of_memory = true; }
  ~OutOfMemory() { g_out_of_memory = false; }
  OutOfMemory(const OutOfMemory&) = delete;
  OutOfMemory& operator=(const OutOfMemory&) = delete;
};

}  // namespace

void* operator new(std::size_t size) {
  if (!g_out_of_memory) {
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  }
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace dudUdudADOD::windows {
namespace {

constexpr HRESULT kInvalidUseOfNull = static_cast<HRESULT>(0x800A005E);

TEST(ComErrorTest, ExcepInfoCarriesTheDescription) {
  EXCEPINFO info{};
  EXPECT_EQ(FillExcepInfo(94, &info), DISP_E_EXCEPTION);
  EXPECT_EQ(info.scode, kInvalidUseOfNull);
  ASSERT_NE(info.bstrDescription, nullptr);
  EXPECT_STREQ(info.bstrDescription, L"Invalid use of Null");
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
}

TEST(ComErrorTest, ExcepInfoWithoutMemoryStillCarriesTheNumber) {
  EXCEPINFO info{};
  HRESULT hr = S_OK;
  {
    OutOfMemory no_memory;
    try {
      hr = FillExcepInfo(94, &info);
    } catch (...) {
      hr = E_FAIL;  // an exception left it
    }
  }
  EXPECT_EQ(hr, DISP_E_EXCEPTION);
  EXPECT_EQ(info.scode, kInvalidUseOfNull);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
}

TEST(ComErrorTest, ErrorInformationWithoutMemoryStillReturnsTheNumber) {
  HRESULT hr = S_OK;
  {
    OutOfMemory no_memory;
    try {
      hr = SetErrorInformation(94, IID_IDispatch);
    } catch (...) {
      hr = E_FAIL;
    }
  }
  EXPECT_EQ(hr, kInvalidUseOfNull);
}

}  // namespace
}  // namespace dudUdudADOD::windows
