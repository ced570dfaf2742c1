#include "windows/guarded_memory.h"

#include <algorithm>
#include <new>

#include "automation/runtime_error.h"
#include "windows/win32.h"

namespace dudUdudADOD::windows {

namespace {

constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                            PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
constexpr DWORD kWritable =
    PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

// A big range is screened and copied a piece at a time, so that a page that
// goes away midway is met by the screen of its piece rather than by a fault.
constexpr uint64_t kPiece = uint64_t{1} << 20;

const void* HostPointer(uint64_t address) {
  return reinterpret_cast<const void*>(static_cast<uintptr_t>(address));
}

}  // namespace

thread_local GuardedMemory::Seen GuardedMemory::seen_;

GuardedMemory::Region GuardedMemory::RegionAt(uint64_t address) const {
  const uint64_t epoch = stamp();
  const Region& last = seen_.region;
  if (seen_.epoch == epoch && address >= last.start && address < last.end) return last;
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
  seen_ = {epoch, region};
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

bool GuardedMemory::Copy(Address address, void* dest, uint64_t size) const {
  if (!handler_.active()) return false;  // an unguarded copy could fault
  auto* out = static_cast<uint8_t*>(dest);
  for (uint64_t done = 0; done < size;) {
    const uint64_t n = std::min(kPiece, size - done);
    if (!Check(address + done, n, false) ||
        !GuardedCopy(out + done, HostPointer(address + done), static_cast<size_t>(n))) {
      Forget();  // what was seen is no longer so
      return false;
    }
    done += n;
  }
  return true;
}

bool GuardedMemory::IsMapped(Address address, uint64_t size) const {
  return Check(address, size, false);
}

bool GuardedMemory::IsWritable(Address address, uint64_t size) const {
  return Check(address, size, true);
}

bool GuardedMemory::TryRead(Address address, void* dest, uint32_t size) const {
  return size == 0 || Copy(address, dest, size);
}

// The stamp is taken before the region is looked for: a Forget meanwhile
// leaves the region under the older stamp, where no later read finds it.
const uint8_t* GuardedMemory::FindRunBytes(Address address, uint32_t size, uint8_t* scratch,
                                           uint32_t room, automation::ReadCache& cache,
                                           uint64_t& readable) const {
  const uint64_t limit = layout().address_end;
  if (address >= limit || size > limit - address || !handler_.active()) return nullptr;
  const uint64_t epoch = stamp();
  uint64_t end = 0;  // of the readable region holding `address`
  if (const automation::ReadCache::Run* run = cache.Find(epoch, address)) {
    end = run->end();
  } else {
    const Region region = RegionAt(address);
    if (region.end == 0 || !region.readable) return nullptr;
    cache.Remember(epoch, {region.start, region.end - region.start, nullptr});
    end = region.end;
  }
  if (size > end - address) return nullptr;
  // As much as the caller has room for, within the region: a string's text
  // comes with its length prefix in one copy.
  const auto n = static_cast<uint32_t>(std::min<uint64_t>(room, end - address));
  if (!GuardedCopy(scratch, HostPointer(address), n)) {
    Forget();  // what was seen is no longer so
    return nullptr;
  }
  readable = n;
  return scratch;
}

void GuardedMemory::Read(Address address, void* dest, uint32_t size) const {
  if (!TryRead(address, dest, size)) automation::Raise(automation::kInvalidArgument);
}

const uint8_t* GuardedMemory::Span(Address address, uint32_t size) const {
  if (size == 0 || !Check(address, size, false)) return nullptr;
  auto copy = std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]);
  if (copy == nullptr || !Copy(address, copy.get(), size)) return nullptr;
  spans_.push_back(std::move(copy));
  return spans_.back().get();
}

}  // namespace dudUdudADOD::windows
