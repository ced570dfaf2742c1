#include "model/process.h"

#include <algorithm>
#include <array>
#include <vector>

#include "automation/bstr.h"
#include "automation/conversions.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "model/safe_array_heap.h"
#include "model/variant_conversions.h"

namespace dudUdudADOD::automation {

namespace {

constexpr uint32_t kHeapAlign = 8;
constexpr uint32_t kHeapGap = 8;
constexpr uint32_t kPage = 4096;

uint64_t RoundUp(uint64_t n, uint64_t to) { return (n + to - 1) / to * to; }

}  // namespace

const AddressPlan& PlanOf(Platform platform) {
  return platform == Platform::kWin64 ? kWin64Plan : kWin32Plan;
}

std::optional<Address> Heap::AllocateIn(Arena& arena, uint32_t size) {
  const uint64_t rounded = RoundUp(std::max<uint32_t>(size, 1), kHeapAlign);
  if (memory_.mapped_bytes() + rounded > memory_.capacity()) Raise(kOutOfMemory);
  std::optional<Address> block = TakeHole(arena, rounded);
  if (!block) {
    uint64_t at = RoundUp(arena.next, kHeapAlign);
    // Skip over blocks that a client placed inside the arena's range.
    while (at + rounded <= arena.limit && !memory_.IsFree(at, rounded)) {
      at = RoundUp(memory_.OverlapEnd(at, rounded) + kHeapGap, kHeapAlign);
    }
    if (at + rounded > arena.limit) return std::nullopt;
    block = at;
    arena.next = at + rounded + kHeapGap;
  }
  memory_.Map(*block, static_cast<uint32_t>(rounded));
  arena.live.emplace(*block, static_cast<uint32_t>(rounded));
  return block;
}

// The best-fitting free range for a block and its gap; the rest of the
// range stays free.
std::optional<Address> Heap::TakeHole(Arena& arena, uint64_t rounded) {
  const uint64_t needed = rounded + kHeapGap;
  for (auto fit = arena.by_size.lower_bound({needed, 0}); fit != arena.by_size.end(); ++fit) {
    const Address start = fit->second;
    // A client may have placed a variable in the range since it was freed.
    if (!memory_.IsFree(start, rounded)) continue;
    auto hole = arena.holes.find(start);
    const uint64_t end = hole->second;
    RemoveHole(arena, hole);
    if (start + needed < end) AddHole(arena, start + needed, end);
    return start;
  }
  return std::nullopt;
}

void Heap::AddHole(Arena& arena, uint64_t start, uint64_t end) {
  arena.holes.emplace(start, end);
  arena.by_size.emplace(end - start, start);
}

void Heap::RemoveHole(Arena& arena, std::map<Address, uint64_t>::iterator hole) {
  arena.by_size.erase({hole->second - hole->first, hole->first});
  arena.holes.erase(hole);
}

Address Heap::Allocate(uint32_t size) {
  if (auto block = AllocateIn(general_, size)) return *block;
  return AllocateData(size);
}

Address Heap::AllocateData(uint32_t size) {
  if (auto block = AllocateIn(data_, size)) return *block;
  Raise(kOutOfMemory);
}

void Heap::Free(Address block) {
  for (Arena* arena : {&general_, &data_}) {
    auto it = arena->live.find(block);
    if (it == arena->live.end()) continue;
    uint64_t start = block;
    uint64_t end = block + it->second + kHeapGap;
    memory_.Unmap(block);
    arena->live.erase(it);
    // Join the free ranges on either side, so that freed neighbours make
    // one range again.
    auto after = arena->holes.find(end);
    if (after != arena->holes.end()) {
      end = after->second;
      RemoveHole(*arena, after);
    }
    auto before = arena->holes.lower_bound(block);
    if (before != arena->holes.begin() && std::prev(before)->second == start) {
      --before;
      start = before->first;
      RemoveHole(*arena, before);
    }
    // Free room at the top goes back to the bump pointer.
    if (end == arena->next) {
      arena->next = start;
    } else {
      AddHole(*arena, start, end);
    }
    return;
  }
}

void Stack::Commit(Address low) {
  if (low >= committed_) return;
  const Address page = low / kPage * kPage;
  memory_.Map(page, static_cast<uint32_t>(committed_ - page));
  committed_ = page;
}

Address Stack::Push(uint32_t size) {
  const uint64_t rounded = RoundUp(size, align_);
  if (rounded > pointer_ - (top_ - kReserve)) Raise(kOutOfStackSpace);
  const Address new_pointer = pointer_ - rounded;
  Commit(new_pointer);
  pointer_ = new_pointer;
  if (uint8_t* bytes = memory_.MutableSpan(pointer_, static_cast<uint32_t>(rounded))) {
    std::fill(bytes, bytes + rounded, 0);
  } else if (rounded > 0) {
    std::vector<uint8_t> zeros(static_cast<size_t>(rounded));
    memory_.Write(pointer_, zeros.data(), static_cast<uint32_t>(rounded));
  }
  return pointer_;
}

bool Stack::InReserve(Address address, uint64_t size) const {
  return address < top_ && address + size > top_ - kReserve;
}

void Stack::Place(Address address, uint32_t size) {
  const uint64_t end = address + size;
  if (size == 0 || address < top_ - kReserve || end > top_) Raise(kInvalidArgument);
  // What the client's frame holds so far: [pointer_, client_frame_), empty
  // before anything is pushed.
  if (pointer_ < client_frame_ && address < client_frame_ && end > pointer_) {
    Raise(kInvalidArgument);
  }
  auto next = placed_.lower_bound(address);
  if (next != placed_.end() && next->first < end) Raise(kInvalidArgument);
  if (next != placed_.begin() && std::prev(next)->first + std::prev(next)->second > address) {
    Raise(kInvalidArgument);
  }
  Commit(address);
  std::vector<uint8_t> zeros(size);
  memory_.Write(address, zeros.data(), size);
  placed_.emplace(address, size);
  if (address < pointer_) pointer_ = address & ~Address{align_ - 1};
}

Address Process::NewObject(std::u16string class_name, std::optional<std::u16string> default_value) {
  const Address address = heap_.Allocate(16);
  objects_.emplace(address, ObjectInfo{std::move(class_name), std::move(default_value)});
  return address;
}

const ObjectInfo* Process::FindObject(Address address) const {
  auto it = objects_.find(address);
  return it == objects_.end() ? nullptr : &it->second;
}

void RtlMoveMemory(Process& process, Address destination, Address source, uint32_t count) {
  if (count == 0) return;
  AddressSpace& memory = process.memory();
  if (!memory.IsMapped(source, count) || !memory.IsMapped(destination, count)) {
    Raise(kInvalidArgument);
  }
  if (const uint8_t* from = memory.Span(source, count)) {
    memory.Write(destination, from, count);
    return;
  }
  std::vector<uint8_t> bytes(count);
  memory.Read(source, bytes.data(), count);
  memory.Write(destination, bytes.data(), count);
}

void Process::MoveMemory(Address destination, Address source, uint32_t count) {
  RtlMoveMemory(*this, destination, source, count);
}

Address Process::CallRecord(std::span<uint8_t> local) {
  stack_.Push(memory_.layout().pointer_size == 4 ? 84 : 88);
  return stack_.Push(static_cast<uint32_t>(local.size()));
}

void Process::WriteLocal(Address at, const void* bytes, uint32_t size) {
  memory_.Write(at, bytes, size);
}

Address Process::NewByteArray(uint32_t count) {
  if (count == 0 || count > memory_.capacity()) Raise(kOutOfMemory);
  const std::array<DeclaredBound, 1> bounds{{{0, static_cast<int32_t>(count - 1)}}};
  return SafeArrayCreate(*this, vbByte, bounds);
}

void Process::DestroyByteArray(Address descriptor) { SafeArrayDestroy(*this, descriptor); }

std::u16string Process::TypeName(const VariantImage& v) const {
  return automation::TypeName(*this, v);
}

void Process::AppendText(std::u16string& out, const VariantImage& v) const {
  AppendVariantText(out, *this, v);
}

uint32_t Process::LenB(const VariantImage& v) const { return automation::LenB(*this, v); }

int32_t Process::ToLong(const VariantImage& v) const { return VariantToLong(*this, v); }

bool Process::HasDefaultValue(Address object) const {
  const ObjectInfo* info = FindObject(object);
  return info != nullptr && info->default_value.has_value();
}

char16_t Process::AnsiChar(int32_t code) const { return automation::AnsiChar(code); }

int32_t Process::LBound(Address descriptor, int dimension) const {
  return automation::LBound(memory_, descriptor, dimension);
}

int32_t Process::UBound(Address descriptor, int dimension) const {
  return automation::UBound(memory_, descriptor, dimension);
}

uint32_t Process::SysStringByteLen(Address bstr) const {
  return automation::SysStringByteLen(memory_, bstr);
}

}  // namespace dudUdudADOD::automation
