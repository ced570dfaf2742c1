// GuardedMemory: the memory of the process the component runs in, read by
// 32-bit address, every range checked with VirtualQuery before a byte of it
// is touched.
//
// Used by OwnProcess (own_process.h) as the report's Memory on Windows.
//
// A range reads when every page of it is committed, readable, and neither a
// guard page nor a no-access page; it may span any number of regions. Reads
// never fault and never rely on catching an access violation, and never go
// through ReadProcessMemory (which under Wine copies from reserved, freed,
// guard and no-access pages alike). The regions seen are remembered for the
// life of the object, which is one public call: the client may free or
// protect its memory between calls, never during one (the apartment calls
// an instance on one thread, and the call does not return to the client).
#ifndef DUD_WINDOWS_GUARDED_MEMORY_H_
#define DUD_WINDOWS_GUARDED_MEMORY_H_

#include <cstdint>

#include "automation/memory.h"

namespace dudUdudADOD::windows {

using automation::Address;

class GuardedMemory final : public automation::Memory {
 public:
  void Read(Address address, void* dest, uint32_t size) const override;
  bool IsMapped(Address address, uint64_t size) const override;
  const uint8_t* Span(Address address, uint32_t size) const override;
  // The layouts of the process the component is built for.
  const automation::Layout& layout() const override {
    return sizeof(void*) == 8 ? automation::kWin64Layout : automation::kWin32Layout;
  }

  // True when every byte of the range is committed and writable (and not a
  // guard page): storage the component may copy into.
  bool IsWritable(Address address, uint64_t size) const;

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

  mutable Region last_;
};

}  // namespace dudUdudADOD::windows

#endif  // DUD_WINDOWS_GUARDED_MEMORY_H_
