// The global operator new and delete of the fuzz executables, with the
// HostAllocationCap of fuzz_support.h.
//
// Every form of the operators is replaced, so that none of the sanitizer
// runtime's own versions is linked beside these. They allocate with malloc
// and free, which the address sanitizer still intercepts: overflows and
// use-after-free are caught as before (only the new/delete kind mismatch
// check is lost). While a cap is set, a request above its limit throws
// std::bad_alloc (or returns nullptr for the nothrow forms) and is recorded.
#include <atomic>
#include <cstdlib>
#include <new>

#include "fuzz/fuzz_support.h"

namespace {

// One fuzz input runs at a time; the program may convert a long report on a
// second thread, which allocates under the same cap.
std::atomic<size_t> g_limit{0};  // 0: no cap
std::atomic<bool> g_hit{false};

void* Allocate(size_t size, size_t alignment) {
  const size_t limit = g_limit;
  if (limit != 0 && size > limit) {
    g_hit = true;
    return nullptr;
  }
  if (size == 0) size = 1;
  if (alignment <= alignof(std::max_align_t)) return std::malloc(size);
  void* p = nullptr;
  return posix_memalign(&p, alignment, size) == 0 ? p : nullptr;
}

void* AllocateOrThrow(size_t size, size_t alignment) {
  void* p = Allocate(size, alignment);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

constexpr size_t kDefault = alignof(std::max_align_t);

}  // namespace

namespace dudUdudADOD::fuzz {

HostAllocationCap::HostAllocationCap(size_t limit_bytes) {
  g_limit = limit_bytes;
  g_hit = false;
}

HostAllocationCap::~HostAllocationCap() { g_limit = 0; }

bool HostAllocationCap::hit() const { return g_hit; }

}  // namespace dudUdudADOD::fuzz

void* operator new(size_t size) { return AllocateOrThrow(size, kDefault); }
void* operator new[](size_t size) { return AllocateOrThrow(size, kDefault); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size, kDefault); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size, kDefault);
}
void* operator new(size_t size, std::align_val_t a) {
  return AllocateOrThrow(size, static_cast<size_t>(a));
}
void* operator new[](size_t size, std::align_val_t a) {
  return AllocateOrThrow(size, static_cast<size_t>(a));
}
void* operator new(size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return Allocate(size, static_cast<size_t>(a));
}
void* operator new[](size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return Allocate(size, static_cast<size_t>(a));
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { std::free(p); }
