// AddressSpace: the client's address space, 32-bit or 64-bit, modelled on
// the host.
//
// The component reads the caller's memory by address. This class holds the
// bytes that stand at those addresses: a sparse set of mapped blocks, each
// with real bytes, little-endian like the platform. It is never a flat
// buffer: only mapped blocks take host memory.
//
// Contract:
//  - A read or write of a range that is not wholly mapped raises run-time
//    error 5 (Invalid procedure call or argument) and touches nothing: it
//    never faults the process and never returns made-up bytes. Error 5 is the
//    platform's error for an argument that cannot be used, which is what a
//    stray pointer in a variant or descriptor is.
//  - Adjacent blocks read as one run of memory, as pages of a real process do.
//  - The space holds at most capacity() bytes: 2 GiB for a 32-bit process,
//    the whole of its user part; 4 GiB for a 64-bit one, twice that, enough
//    for the largest array a report counts (its byte total is a Long) beside
//    its strings, and bounded so that a script cannot take the host's memory.
//    Mapping beyond that raises error 7 (Out of memory) before any host
//    memory is taken. Addresses run below layout().address_end.
#ifndef DUD_MODEL_ADDRESS_SPACE_H_
#define DUD_MODEL_ADDRESS_SPACE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>

#include "automation/memory.h"
#include "model/model_only.h"

namespace dudUdudADOD::automation {

// The model's implementation of Memory: everything mapped reads.
class AddressSpace final : public Memory {
 public:
  static constexpr uint64_t kCapacity32 = uint64_t{1} << 31;
  static constexpr uint64_t kCapacity64 = uint64_t{1} << 32;

  explicit AddressSpace(const Layout& layout = kWin32Layout);
  AddressSpace(const AddressSpace&) = delete;
  AddressSpace& operator=(const AddressSpace&) = delete;

  // Maps [address, address + size) filled with zeros. Raises 5 when the range
  // is empty, passes the end of the space or overlaps a mapped block, 7 when the space
  // would pass its capacity.
  void Map(Address address, uint32_t size);
  // Unmaps the block that starts at `address`; a no-op when none does.
  void Unmap(Address address);

  // True when every byte of [address, address + size) is mapped.
  bool IsMapped(Address address, uint64_t size) const override;
  // True when no byte of [address, address + size) is mapped and the range
  // lies below the end of the space.
  bool IsFree(Address address, uint64_t size) const;
  // The end of the highest mapped block that overlaps [address, address +
  // size), or 0 when none does: where an allocator should look next.
  uint64_t OverlapEnd(Address address, uint64_t size) const;

  // Copies `size` bytes; raises 5 unless the whole range is mapped.
  void Read(Address address, void* dest, uint32_t size) const override;
  bool TryRead(Address address, void* dest, uint32_t size) const override;
  void Write(Address address, const void* src, uint32_t size);

  // The host bytes of [address, address + size) when they lie in one block,
  // otherwise nullptr. The fast path for long runs such as array data; the
  // pointer is valid until the block is unmapped.
  const uint8_t* Span(Address address, uint32_t size) const override;
  uint8_t* MutableSpan(Address address, uint32_t size);

  uint64_t mapped_bytes() const { return mapped_bytes_; }
  uint64_t capacity() const { return capacity_; }
  const Layout& layout() const override { return layout_; }

  // Visits every block in address order (for tests and checks that compare
  // memory before and after a call).
  void ForEachBlock(const std::function<void(Address, std::span<const uint8_t>)>& visit) const;

 private:
  struct Block {
    // The block's `size` bytes, then kRunSlack zeros that readers of its run
    // may read past its end (memory.h).
    std::unique_ptr<uint8_t[]> bytes;
    uint32_t size = 0;
    // The block after this one in address order, or nullptr. A walk over
    // strings allocated one after another steps along these rather than
    // along the tree, whose nodes on the way lie far apart in memory.
    const std::pair<const Address, Block>* next = nullptr;
  };
  using Blocks = std::map<Address, Block>;
  using Entry = Blocks::value_type;
  // The blocks the calling thread's reads found last (address_space.cc).
  struct RecentBlocks;
  static thread_local RecentBlocks recent_blocks_;

  // Remembers blocks by their host bytes, which readers then read in place.
  const uint8_t* FindRunBytes(Address address, uint32_t size, uint8_t* scratch, uint32_t room,
                              ReadCache& cache, uint64_t& readable) const override;

  // The block holding `address`, or nullptr.
  const Entry* BlockAt(Address address) const;
  // The same, searched for, after the block that follows `latest` (the
  // block found last, or nullptr) has been tried.
  const Entry* BlockAfter(const Entry* latest, Address address) const;
  // The run of the block holding `address`, found and remembered in `cache`
  // (which the caller has already looked in); nullptr when no block holds it.
  const ReadCache::Run* CachedRunAt(Address address, ReadCache& cache) const;
  static bool Contains(const Entry& block, Address address);

  // True when [address, address + size) lies below the end of the space.
  bool InSpace(Address address, uint64_t size) const {
    return address <= layout_.address_end && size <= layout_.address_end - address;
  }

  const Layout& layout_;
  uint64_t capacity_;
  Blocks blocks_;
  // The memory's stamp (memory.h) names this space's current set of blocks
  // for the per-thread cache of the block BlockAt found last and for
  // readers' caches: renewed whenever a block goes, so that a cached
  // iterator or block's bytes are only ever used while they are valid.
  // Reads may come from several threads at once; mapping and unmapping never
  // run beside them.
  uint64_t mapped_bytes_ = 0;
};

// Little-endian stores of the platform's integer widths (the loads are
// memory.h's).
void WriteInt16(AddressSpace& memory, Address address, int16_t value);
void WriteInt32(AddressSpace& memory, Address address, int32_t value);
void WriteUInt32(AddressSpace& memory, Address address, uint32_t value);
void WriteUInt64(AddressSpace& memory, Address address, uint64_t value);
// A pointer of the space's width.
void WritePointer(AddressSpace& memory, Address address, Address value);

}  // namespace dudUdudADOD::automation

#endif  // DUD_MODEL_ADDRESS_SPACE_H_
