#include "model/address_space.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "automation/runtime_error.h"

namespace dudUdudADOD::automation {

namespace {

template <typename Block>
uint64_t End(Address start, const Block& block) {
  return start + block.size;
}

}  // namespace

// The blocks a thread's reads found last (the latest first), and the space
// and generation they belong to. Per thread, so that two threads reading one
// space (a walk in slices) neither race on them nor evict each other's.
// A few are kept: a walk over an array's strings turns from one string to
// the next and back to strings it met a moment before.
struct AddressSpace::RecentBlocks {
  static constexpr size_t kKept = 4;
  uint64_t generation = 0;
  size_t count = 0;
  std::array<const Entry*, kKept> blocks;
};
thread_local AddressSpace::RecentBlocks AddressSpace::recent_blocks_;

AddressSpace::AddressSpace(const Layout& layout)
    : layout_(layout), capacity_(layout.pointer_size == 4 ? kCapacity32 : kCapacity64) {}

const AddressSpace::Entry* AddressSpace::BlockAt(Address address) const {
  // Walks over memory go block after block (the strings of an array lie one
  // after the other), so the blocks found lately and the one after the
  // latest are tried before a search.
  RecentBlocks& recent = recent_blocks_;
  if (recent.generation != stamp()) recent = {stamp(), 0, {}};
  for (size_t i = 0; i < recent.count; ++i) {
    if (Contains(*recent.blocks[i], address)) return recent.blocks[i];
  }
  const Entry* found = BlockAfter(recent.count == 0 ? nullptr : recent.blocks[0], address);
  if (found == nullptr) return nullptr;
  // The latest goes first; the oldest falls out.
  const size_t kept = std::min(recent.count + 1, RecentBlocks::kKept);
  for (size_t i = kept - 1; i > 0; --i) recent.blocks[i] = recent.blocks[i - 1];
  recent.blocks[0] = found;
  recent.count = kept;
  return found;
}

const AddressSpace::Entry* AddressSpace::BlockAfter(const Entry* latest, Address address) const {
  const Entry* next = latest == nullptr ? nullptr : latest->second.next;
  if (next != nullptr && Contains(*next, address)) return next;
  auto it = blocks_.upper_bound(address);
  if (it == blocks_.begin()) return nullptr;
  --it;
  return Contains(*it, address) ? &*it : nullptr;
}

bool AddressSpace::Contains(const Entry& block, Address address) {
  return address - block.first < block.second.size;
}

bool AddressSpace::IsFree(Address address, uint64_t size) const {
  if (!InSpace(address, size)) return false;
  auto it = blocks_.upper_bound(address);
  if (it != blocks_.begin()) {
    auto prev = std::prev(it);
    if (End(prev->first, prev->second) > address) return false;
  }
  return it == blocks_.end() || it->first >= uint64_t{address} + size;
}

uint64_t AddressSpace::OverlapEnd(Address address, uint64_t size) const {
  if (!InSpace(address, size)) size = layout_.address_end - std::min(address, layout_.address_end);
  const uint64_t end = address + size;
  // The last block that starts before the range's end is the highest one that
  // can overlap it.
  auto it = blocks_.lower_bound(end);
  if (it == blocks_.begin()) return 0;
  --it;
  const uint64_t block_end = End(it->first, it->second);
  return block_end > address ? block_end : 0;
}

void AddressSpace::Map(Address address, uint32_t size) {
  if (size == 0 || !IsFree(address, size)) Raise(kInvalidArgument);
  if (mapped_bytes_ + size > capacity_) Raise(kOutOfMemory);
  const auto it =
      blocks_.emplace(address, Block{std::make_unique<uint8_t[]>(size + kRunSlack), size, nullptr})
          .first;
  const auto after = std::next(it);
  it->second.next = after == blocks_.end() ? nullptr : &*after;
  if (it != blocks_.begin()) std::prev(it)->second.next = &*it;
  mapped_bytes_ += size;
}

void AddressSpace::Unmap(Address address) {
  auto it = blocks_.find(address);
  if (it == blocks_.end()) return;
  mapped_bytes_ -= it->second.size;
  Renew();  // every thread's cached block may be this one
  if (it != blocks_.begin()) std::prev(it)->second.next = it->second.next;
  blocks_.erase(it);
}

bool AddressSpace::IsMapped(Address address, uint64_t size) const {
  if (!InSpace(address, size)) return false;
  uint64_t at = address;
  const uint64_t end = at + size;
  while (at < end) {
    auto it = BlockAt(static_cast<Address>(at));
    if (it == nullptr) return false;
    at = End(it->first, it->second);
  }
  return true;
}

void AddressSpace::Read(Address address, void* dest, uint32_t size) const {
  if (size == 0) return;
  if (const uint8_t* run = Span(address, size)) {
    std::memcpy(dest, run, size);
    return;
  }
  if (!IsMapped(address, size)) Raise(kInvalidArgument);
  auto* out = static_cast<uint8_t*>(dest);
  uint64_t at = address;
  const uint64_t end = at + size;
  while (at < end) {
    auto it = BlockAt(static_cast<Address>(at));
    const uint64_t offset = at - it->first;
    const auto n = static_cast<size_t>(std::min<uint64_t>(end, End(it->first, it->second)) - at);
    std::memcpy(out, it->second.bytes.get() + offset, n);
    out += n;
    at += n;
  }
}

bool AddressSpace::TryRead(Address address, void* dest, uint32_t size) const {
  // One block, the common case, needs one look; anything else reads as Read.
  if (const uint8_t* run = size == 0 ? nullptr : Span(address, size)) {
    std::memcpy(dest, run, size);
    return true;
  }
  return Memory::TryRead(address, dest, size);
}

// The cache's note holds the block remembered last, valid while the cache's
// stamp is the generation it was found in; the block after it is tried
// first. A walk that steps so from block to block (strings allocated one
// after another) meets the blocks after the one it found next: as many as
// the cache keeps are remembered with it, so that the walk's next few reads
// need no call here.
const ReadCache::Run* AddressSpace::CachedRunAt(Address address, ReadCache& cache) const {
  static_assert(sizeof(const Entry*) <= sizeof cache.note);
  const auto run_of = [](const Entry& e) {
    return ReadCache::Run{e.first, e.second.size, e.second.bytes.get()};
  };
  // RunBytes has looked in the cache already.
  const uint64_t generation = stamp();
  const Entry* latest = nullptr;
  if (cache.HasLatest(generation)) std::memcpy(&latest, cache.note.data(), sizeof latest);
  const Entry* found = BlockAfter(latest, address);
  if (found == nullptr) return nullptr;
  const bool stepped = latest != nullptr && found == latest->second.next;
  std::array<const Entry*, ReadCache::kRuns - 1> ahead{};
  size_t count = 0;
  for (const Entry* e = found->second.next; stepped && e != nullptr && count < ahead.size();
       e = e->second.next) {
    ahead[count++] = e;
  }
  for (size_t i = count; i-- > 0;) cache.Remember(generation, run_of(*ahead[i]));
  const Entry* last = count == 0 ? found : ahead[count - 1];
  std::memcpy(cache.note.data(), &last, sizeof last);
  return &cache.Remember(generation, run_of(*found));
}

const uint8_t* AddressSpace::FindRunBytes(Address address, uint32_t size, uint8_t*, uint32_t,
                                          ReadCache& cache, uint64_t& readable) const {
  const ReadCache::Run* run = CachedRunAt(address, cache);
  if (run == nullptr || size > run->end() - address) return nullptr;
  readable = run->end() - address;
  return run->host + (address - run->start);
}

void AddressSpace::Write(Address address, const void* src, uint32_t size) {
  if (size == 0) return;
  if (!IsMapped(address, size)) Raise(kInvalidArgument);
  const auto* in = static_cast<const uint8_t*>(src);
  uint64_t at = address;
  const uint64_t end = at + size;
  while (at < end) {
    auto it = blocks_.find(BlockAt(static_cast<Address>(at))->first);
    const uint64_t offset = at - it->first;
    const auto n = static_cast<size_t>(std::min<uint64_t>(end, End(it->first, it->second)) - at);
    std::memmove(it->second.bytes.get() + offset, in, n);
    in += n;
    at += n;
  }
}

const uint8_t* AddressSpace::Span(Address address, uint32_t size) const {
  auto it = BlockAt(address);
  if (it == nullptr || size > End(it->first, it->second) - address) return nullptr;
  return it->second.bytes.get() + (address - it->first);
}

uint8_t* AddressSpace::MutableSpan(Address address, uint32_t size) {
  return const_cast<uint8_t*>(Span(address, size));
}

void AddressSpace::ForEachBlock(
    const std::function<void(Address, std::span<const uint8_t>)>& visit) const {
  for (const auto& [start, block] : blocks_) visit(start, {block.bytes.get(), block.size});
}

namespace {

template <typename T>
void Store(AddressSpace& memory, Address address, T value) {
  uint8_t b[sizeof(T)];
  const auto v = static_cast<uint64_t>(value);
  for (size_t i = 0; i < sizeof(T); ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
  memory.Write(address, b, sizeof(T));
}

}  // namespace

void WriteInt16(AddressSpace& m, Address a, int16_t v) { Store(m, a, v); }
void WriteInt32(AddressSpace& m, Address a, int32_t v) { Store(m, a, v); }
void WriteUInt32(AddressSpace& m, Address a, uint32_t v) { Store(m, a, v); }
void WriteUInt64(AddressSpace& m, Address a, uint64_t v) { Store(m, a, v); }

void WritePointer(AddressSpace& m, Address a, Address v) {
  if (m.layout().pointer_size == 4) {
    WriteUInt32(m, a, static_cast<uint32_t>(v));
  } else {
    WriteUInt64(m, a, v);
  }
}

}  // namespace dudUdudADOD::automation
