// AddressSpace: the client's 32-bit address space, modelled on the host.
//
// The component reads the caller's memory by 32-bit address. This class holds
// the bytes that stand at those addresses: a sparse set of mapped blocks, each
// with real bytes, little-endian like the platform. It is never a flat 4 GiB
// buffer: only mapped blocks take host memory.
//
// Contract:
//  - A read or write of a range that is not wholly mapped raises run-time
//    error 5 (Invalid procedure call or argument) and touches nothing: it
//    never faults the process and never returns made-up bytes. Error 5 is the
//    platform's error for an argument that cannot be used, which is what a
//    stray pointer in a variant or descriptor is.
//  - Adjacent blocks read as one run of memory, as pages of a real process do.
//  - The space holds at most 2 GiB, the user part of a 32-bit process; mapping
//    beyond that raises error 7 (Out of memory) before any host memory is
//    taken.
#ifndef DUD_AUTOMATION_ADDRESS_SPACE_H_
#define DUD_AUTOMATION_ADDRESS_SPACE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "automation/memory.h"

namespace dudUdudADOD::automation {

// The model's implementation of Memory: everything mapped reads.
class AddressSpace final : public Memory {
 public:
  static constexpr uint64_t kCapacity = uint64_t{1} << 31;

  AddressSpace() = default;
  AddressSpace(const AddressSpace&) = delete;
  AddressSpace& operator=(const AddressSpace&) = delete;

  // Maps [address, address + size) filled with zeros. Raises 5 when the range
  // is empty, wraps past 2^32 or overlaps a mapped block, 7 when the space
  // would pass its capacity.
  void Map(Address address, uint32_t size);
  // Unmaps the block that starts at `address`; a no-op when none does.
  void Unmap(Address address);

  // True when every byte of [address, address + size) is mapped.
  bool IsMapped(Address address, uint64_t size) const override;
  // True when no byte of [address, address + size) is mapped and the range
  // does not wrap past 2^32.
  bool IsFree(Address address, uint64_t size) const;
  // The end of the highest mapped block that overlaps [address, address +
  // size), or 0 when none does: where an allocator should look next.
  uint64_t OverlapEnd(Address address, uint64_t size) const;

  // Copies `size` bytes; raises 5 unless the whole range is mapped.
  void Read(Address address, void* dest, uint32_t size) const override;
  void Write(Address address, const void* src, uint32_t size);

  // The host bytes of [address, address + size) when they lie in one block,
  // otherwise nullptr. The fast path for long runs such as array data; the
  // pointer is valid until the block is unmapped.
  const uint8_t* Span(Address address, uint32_t size) const override;
  uint8_t* MutableSpan(Address address, uint32_t size);

  uint64_t mapped_bytes() const { return mapped_bytes_; }

  // Visits every block in address order (for tests and checks that compare
  // memory before and after a call).
  void ForEachBlock(const std::function<void(Address, const std::vector<uint8_t>&)>& visit) const;

 private:
  using Blocks = std::map<Address, std::vector<uint8_t>>;

  // The block holding `address`, or end().
  Blocks::const_iterator BlockAt(Address address) const;
  static bool Contains(Blocks::const_iterator block, Address address);

  Blocks blocks_;
  // The block BlockAt found last: a cache, so reads from one thread only (the
  // component is called by one thread at a time).
  mutable Blocks::const_iterator last_ = blocks_.end();
  uint64_t mapped_bytes_ = 0;
};

// Little-endian stores of the platform's integer widths (the loads are
// memory.h's).
void WriteInt16(AddressSpace& memory, Address address, int16_t value);
void WriteInt32(AddressSpace& memory, Address address, int32_t value);
void WriteUInt32(AddressSpace& memory, Address address, uint32_t value);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_ADDRESS_SPACE_H_
