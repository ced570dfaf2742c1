// AddressSet: a set of nonzero addresses in one flat table, for the
// footprint's walk, which must find each block once however many pointers
// lead to it.
//
// Open addressing with linear probing, 8 bytes a slot, never more than half
// full: a million addresses take 16 to 32 MiB, and an address met again
// costs one probe on average. Address 0 marks an empty slot and cannot be
// held (a block at 0 is never followed). Not thread-safe.
#ifndef DUD_INSPECTOR_ADDRESS_SET_H_
#define DUD_INSPECTOR_ADDRESS_SET_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "automation/platform.h"

namespace dudUdudADOD {

class AddressSet {
 public:
  // Adds `address` (nonzero); true when it was not there yet.
  bool Insert(automation::Address address);
  bool Contains(automation::Address address) const;
  size_t size() const { return size_; }

 private:
  size_t SlotOf(automation::Address address) const;
  void Grow();

  std::vector<automation::Address> slots_;  // a power of two of them, or none
  size_t size_ = 0;
};

}  // namespace dudUdudADOD

#endif  // DUD_INSPECTOR_ADDRESS_SET_H_
