// GuardedMemory: the memory of the process the component runs in, read by
// address, every range screened with VirtualQuery and then copied with a
// copy that survives a fault.
//
// Used by OwnProcess (own_process.h) as the report's Memory on Windows.
//
// A range reads when every page of it is committed, readable, and neither a
// guard page nor a no-access page; it may span any number of regions. The
// screen keeps the copy off guard pages (touching one would disarm another
// thread's stack guard) and off memory that was never there; the copy
// itself (guarded_copy.h) turns a page that goes away between the screen
// and the copy into run-time error 5. ReadProcessMemory is never used: under
// Wine it copies from reserved, freed, guard and no-access pages alike.
//
// Nothing hands out a pointer into the client's memory: Span copies the
// range into storage of the memory's own, good until the memory ends (one
// public call), so a walk formats bytes that can no longer change under it.
//
// The last region seen is remembered, by each thread for itself, to spare a
// query per small read; so two threads may read through one memory at once
// (a walk over an array's strings is split between two). A reader may keep
// regions of its own (RunBytes), under the same stamp. The owner calls
// Forget before it runs client code (an object's members), which may free or
// protect memory; other threads' changes are what the guarded copy is for.
#ifndef DUD_WINDOWS_GUARDED_MEMORY_H_
#define DUD_WINDOWS_GUARDED_MEMORY_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "automation/memory.h"
#include "windows/guarded_copy.h"

namespace dudUdudADOD::windows {

using automation::Address;

class GuardedMemory final : public automation::Memory {
 public:
  GuardedMemory() = default;
  GuardedMemory(const GuardedMemory&) = delete;
  GuardedMemory& operator=(const GuardedMemory&) = delete;

  void Read(Address address, void* dest, uint32_t size) const override;
  bool TryRead(Address address, void* dest, uint32_t size) const override;
  // Up to the end of the region that holds `address`.
  bool IsMapped(Address address, uint64_t size) const override;
  // A copy of the range, or nullptr when it cannot be read (or the copy
  // cannot be stored).
  const uint8_t* Span(Address address, uint32_t size) const override;
  bool SpanCopies() const override { return true; }
  // The layouts of the process the component is built for.
  const automation::Layout& layout() const override {
    return sizeof(void*) == 8 ? automation::kWin64Layout : automation::kWin32Layout;
  }

  // True when every byte of the range is committed and writable (and not a
  // guard page): storage the component may copy into.
  bool IsWritable(Address address, uint64_t size) const;

  // Drops the remembered regions, every thread's: memory may have changed.
  void Forget() const { Renew(); }

 private:
  struct Region {
    uint64_t start = 0;
    uint64_t end = 0;  // empty until a region has been seen
    bool readable = false;
    bool writable = false;
  };
  // The region holding `address`, from the cache or VirtualQuery; an empty
  // region when the address cannot be queried.
  Region RegionAt(uint64_t address) const;
  bool Check(Address address, uint64_t size, bool write) const;
  // The screened range copied to `dest`; false when a page faulted.
  bool Copy(Address address, void* dest, uint64_t size) const;
  // Copies into `scratch`, the region looked for in the reader's cache
  // first: a hit spares the query, never the guarded copy.
  const uint8_t* FindRunBytes(Address address, uint32_t size, uint8_t* scratch, uint32_t room,
                              automation::ReadCache& cache, uint64_t& readable) const override;

  // What a thread remembers: the region it saw last, good while `epoch` is
  // the memory's stamp (memory.h). Every memory and every Forget take a
  // stamp never used before, so a region seen through one memory never
  // answers for another.
  struct Seen {
    uint64_t epoch = 0;
    Region region;
  };

  FaultHandlerScope handler_;
  static thread_local Seen seen_;
  mutable std::vector<std::unique_ptr<uint8_t[]>> spans_;
};

}  // namespace dudUdudADOD::windows

#endif  // DUD_WINDOWS_GUARDED_MEMORY_H_
