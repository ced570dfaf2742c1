#include "inspector/address_set.h"

namespace dudUdudADOD {

using automation::Address;

namespace {

constexpr size_t kFirstSlots = 64;

// Spreads addresses that differ only in their low bits (blocks a few
// bytes apart) over the whole table.
uint64_t Mix(Address address) {
  uint64_t x = address;
  x ^= x >> 31;
  x *= 0x9E3779B97F4A7C15ull;
  return x ^ (x >> 29);
}

}  // namespace

// The slot holding `address`, or the empty slot where it would go.
size_t AddressSet::SlotOf(Address address) const {
  const size_t mask = slots_.size() - 1;
  size_t slot = static_cast<size_t>(Mix(address)) & mask;
  while (slots_[slot] != 0 && slots_[slot] != address) slot = (slot + 1) & mask;
  return slot;
}

bool AddressSet::Contains(Address address) const {
  if (address == 0 || slots_.empty()) return false;
  return slots_[SlotOf(address)] == address;
}

bool AddressSet::Insert(Address address) {
  if (address == 0) return false;
  if (2 * (size_ + 1) > slots_.size()) Grow();
  const size_t slot = SlotOf(address);
  if (slots_[slot] == address) return false;
  slots_[slot] = address;
  ++size_;
  return true;
}

void AddressSet::Grow() {
  std::vector<Address> old(slots_.empty() ? kFirstSlots : 2 * slots_.size(), 0);
  old.swap(slots_);
  for (const Address address : old) {
    if (address != 0) slots_[SlotOf(address)] = address;
  }
}

}  // namespace dudUdudADOD
