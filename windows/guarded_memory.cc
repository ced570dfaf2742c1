#include "windows/guarded_memory.h"

#include <cstring>

#include "automation/runtime_error.h"
#include "windows/win32.h"

namespace dudUdudADOD::windows {

namespace {

constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                            PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
constexpr DWORD kWritable =
    PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

const void* HostPointer(uint64_t address) {
  return reinterpret_cast<const void*>(static_cast<uintptr_t>(address));
}

}  // namespace

GuardedMemory::Region GuardedMemory::RegionAt(uint64_t address) const {
  if (address >= last_.start && address < last_.end) return last_;
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(HostPointer(address), &info, sizeof info) != sizeof info) return Region{};
  Region region;
  region.start = reinterpret_cast<uintptr_t>(info.BaseAddress);
  region.end = region.start + info.RegionSize;
  const bool usable =
      info.State == MEM_COMMIT && (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) == 0;
  region.readable = usable && (info.Protect & kReadable) != 0;
  region.writable = usable && (info.Protect & kWritable) != 0;
  if (region.end <= address) return Region{};  // a query that answered another range
  last_ = region;
  return region;
}

bool GuardedMemory::Check(Address address, uint64_t size, bool write) const {
  if (size == 0) return true;
  // A range past the process's addresses would wrap, which no real range does.
  const uint64_t limit = layout().address_end;
  if (address > limit || size > limit - address) return false;
  const uint64_t end = address + size;
  for (uint64_t at = address; at < end;) {
    const Region region = RegionAt(at);
    if (region.end == 0 || !(write ? region.writable : region.readable)) return false;
    at = region.end;
  }
  return true;
}

bool GuardedMemory::IsMapped(Address address, uint64_t size) const {
  return Check(address, size, false);
}

bool GuardedMemory::IsWritable(Address address, uint64_t size) const {
  return Check(address, size, true);
}

void GuardedMemory::Read(Address address, void* dest, uint32_t size) const {
  if (size == 0) return;
  if (!Check(address, size, false)) automation::Raise(automation::kInvalidArgument);
  std::memcpy(dest, HostPointer(address), size);
}

const uint8_t* GuardedMemory::Span(Address address, uint32_t size) const {
  if (size == 0 || !Check(address, size, false)) return nullptr;
  return static_cast<const uint8_t*>(HostPointer(address));
}

}  // namespace dudUdudADOD::windows
