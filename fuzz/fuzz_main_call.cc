// Fuzz targets: the main call over an arbitrary client address space.
//
// This source makes two targets: fuzz_main_call over a 32-bit client process
// (4-byte pointers, 16-byte variants) and, compiled with DUD_FUZZ_WIN64,
// fuzz_main_call64 over a 64-bit one (8-byte pointers, 24-byte variants,
// pvData at 16 and bounds at 24). kPlatform decides which; the layout, the
// address plan and the edges below follow from it. The 32-bit target reads
// an input as it always has, so its corpus keeps its meaning.
//
// Each input builds a client process of its own:
//  - up to six mapped regions (1 MiB in all): free-standing in the low
//    4 GiB, in the heap arenas, in the stack's reserve (placed as a client
//    places a variable there), in the first 64 KiB, just below 2^31 or
//    2^32; on 64-bit also just below the top of the space or across 2^32;
//    filled with input bytes or a repeated pattern;
//  - up to six well-formed things made by the runtime (strings, arrays of
//    one to three dimensions, objects), for pointers to aim at;
//  - up to 32 patches written over all that: pointers into any of it,
//    pointer-sized raw words, array descriptors with any cDims, cbElements
//    and bounds, string length prefixes, variants with any type word;
//  - the argument variant, passed on the stack as a client does, written at
//    a pointer, taken as it stands at a pointer, or put across an edge: 2^31
//    (on 64-bit also 2^32 and the top of the space);
//  - varFlags, vatFlags, sep and DebugF, each omitted or given.
//
// Pointers aim into those places, at 0, at raw addresses of the pointer's
// width, at the client's frame, or just past an edge: 2^31, 2^32, the heap
// (on 64-bit also the top of the space, of the signed range and of 2^64).
//
// Properties checked on every input:
//  - only RuntimeError leaves the call, with a number the model knows (or
//    std::bad_alloc when the host allocation cap of fuzz_support.h refused a
//    request: a report too large for the fuzzer, which the call through a
//    sink below then tells from a runaway allocation);
//  - the client's memory is byte for byte what it was: every block that
//    existed before still exists with the same bytes, except the part of the
//    stack below the stack pointer (the call's own frames); new blocks are
//    only stack pages the call committed (zeros above the stack pointer),
//    and mapped_bytes grows by exactly those;
//  - the stack pointer is restored;
//  - no section chosen gives the empty text;
//  - a second call on the same memory, through Report with a sink, with
//    DebugF and the vatStdSep bit flipped and omitted parameters given their
//    defaults explicitly, gives the same text (the pieces joined) or the same
//    error (each call starts from the same scratch below the stack pointer,
//    which a pointer of the input may aim at);
//  - the structured outputs over the same memory (--json's twin, the
//    footprint, --svg's picture; fuzz/output_checks.h) never raise, change
//    no byte of it, write a JSON document any parser reads and a picture of
//    text XML allows, agree with the report (the twin fails as the report
//    fails, and only in its footprint where the report succeeds; the report
//    taken without vatCharASCII's characters, which the twin does not
//    print; no agreement is owed when the argument, or the cell, descriptor
//    or data it points at, lies in the call's own frames) and with each
//    other (the footprint fails exactly where the picture stops);
//  - the call through a sink never needs a host allocation past the cap: the
//    report's own text is handed over in pieces, so such an allocation is
//    sized by what the input claims, not by what it holds. An exception
//    thrown by the sink (a report too long for the fuzzer) passes through
//    the call and leaves the memory as it was.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "automation/bstr.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "automation/variant.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/output_checks.h"
#include "inspector/ravoduze.h"
#include "model/address_space.h"
#include "model/bstr_heap.h"
#include "model/client.h"
#include "model/process.h"
#include "model/safe_array_heap.h"
#include "model/variant_memory.h"

namespace {

using dudUdudADOD::RavoDUZE;
using dudUdudADOD::RuntimeError;
using dudUdudADOD::automation::Address;
using dudUdudADOD::automation::AddressPlan;
using dudUdudADOD::automation::AddressSpace;
using dudUdudADOD::automation::Heap;
using dudUdudADOD::automation::Layout;
using dudUdudADOD::automation::Platform;
using dudUdudADOD::automation::Process;
using dudUdudADOD::automation::Stack;
using dudUdudADOD::automation::VariantImage;
using dudUdudADOD::fuzz::ByteReader;
using dudUdudADOD::fuzz::Fail;
using dudUdudADOD::fuzz::HostAllocationCap;

namespace automation = dudUdudADOD::automation;

// The platform of the client process. Everything layout-specific follows
// from it: the width of pointers written, the variant's size, the
// descriptor's offsets, the edges of the space and the stack's place.
#ifdef DUD_FUZZ_WIN64
constexpr Platform kPlatform = Platform::kWin64;
#else
constexpr Platform kPlatform = Platform::kWin32;
#endif
constexpr bool kWide = kPlatform == Platform::kWin64;
constexpr Layout kLayout = kWide ? automation::kWin64Layout : automation::kWin32Layout;
constexpr AddressPlan kPlan = kWide ? automation::kWin64Plan : automation::kWin32Plan;

constexpr uint32_t kRegionBudget = 1u << 20;
constexpr size_t kHostCap = size_t{64} << 20;
constexpr Address kReserveLow = kPlan.stack_top - Stack::kReserve;
constexpr Address k2G = Address{1} << 31;
constexpr Address k4G = Address{1} << 32;

// A range that pointers may aim at: a region, or a thing the runtime made.
struct Place {
  Address address;
  uint32_t size;
};

struct World {
  Process process{kPlatform};
  std::vector<Place> places;
};

constexpr uint32_t kInteresting32[] = {
    0,          1,          2,          3,          4,          8,          16,
    60,         61,         0x7FFF,     0x8000,     0xFFFF,     0x10000,    0x7FFFFFFF,
    0x80000000, 0xFFFFFFFF, 0xFFFFFFFE, 0x40000000, 0x20000000, 0x7FFFFFF0, 0x00130000};

// Words of 64 bits worth trying as a pointer or a pointer-sized field: the
// edges of 2^31, 2^32, the user space's top and the signed range, and the
// plan's own addresses.
constexpr uint64_t kInteresting64[] = {0,
                                       1,
                                       0x7FFFFFFF,
                                       0x80000000,
                                       0xFFFFFFFF,
                                       k4G,
                                       k4G + 8,
                                       kLayout.address_end - 8,
                                       kLayout.address_end,
                                       0x7FFFFFFFFFFFFFFF,
                                       0x8000000000000000,
                                       0xFFFFFFFFFFFFFFF8,
                                       0xFFFFFFFFFFFFFFFF,
                                       kPlan.general_base,
                                       kPlan.data_base,
                                       kPlan.stack_top - 8};

uint32_t Interesting(ByteReader& in) {
  const uint32_t pick = in.Below(std::size(kInteresting32) + 1);
  return pick < std::size(kInteresting32) ? kInteresting32[pick] : in.U32();
}

uint64_t U64(ByteReader& in) {
  const uint64_t low = in.U32();
  return low | (uint64_t{in.U32()} << 32);
}

// A value for a pointer-sized field: on 32-bit what Interesting gives; on
// 64-bit a 32-bit one half the time, else a 64-bit edge or 64 raw bits.
uint64_t InterestingWord(ByteReader& in) {
  if (!kWide || in.Bit()) return Interesting(in);
  const uint32_t pick = in.Below(std::size(kInteresting64) + 1);
  return pick < std::size(kInteresting64) ? kInteresting64[pick] : U64(in);
}

// A raw pointer: 32 bits of input on 32-bit, 64 on 64-bit.
Address RawPointer(ByteReader& in) { return kWide ? U64(in) : in.U32(); }

// Addresses near an edge of the space, for Pointer to aim a little past:
// the first five on both platforms, the rest on 64-bit only.
constexpr Address kEdges[] = {0x7FFFFFF0,
                              0xFFFFFFF0,
                              0,
                              0x80000000,
                              kPlan.general_base,
                              k4G,
                              kPlan.data_base,
                              kLayout.address_end - 16,
                              0xFFFFFFFFFFFFFFF0,
                              0x7FFFFFFFFFFFFFF0};
constexpr uint32_t kEdgeCount = kWide ? std::size(kEdges) : 5;

Address EdgePointer(ByteReader& in) { return kEdges[in.Below(kEdgeCount)] + in.Below(16); }

// A pointer: into a place (a little before or past it too), raw, 0, near an
// edge of the address space, or into the client's frame on the stack.
Address Pointer(ByteReader& in, const World& world) {
  switch (in.Below(5)) {
    case 0: {
      if (world.places.empty()) return RawPointer(in);
      const Place& p = world.places[in.U8() % world.places.size()];
      const uint32_t offset = in.U16() % (p.size + 24);
      return static_cast<Address>(p.address + offset - 8);
    }
    case 1:
      return RawPointer(in);
    case 2:
      return 0;
    case 3:
      return EdgePointer(in);
    default:
      return kPlan.client_frame - in.U16() % 1024;
  }
}

uint16_t TypeWord(ByteReader& in) {
  constexpr uint16_t kTypes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 17, 36, 15, 16};
  if (in.Below(8) == 0) return in.U16();
  const uint8_t bits = in.U8();
  uint16_t vt = kTypes[bits % std::size(kTypes)];
  if ((bits & 0x40) != 0) vt |= automation::vbArray;
  if ((bits & 0x80) != 0) vt |= automation::kByRef;
  return vt;
}

void PutLittleEndian(uint8_t* at, uint64_t value, uint32_t size) {
  for (uint32_t i = 0; i < size; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// A variant of the platform's size. The data field holds a pointer, raw
// bytes (all of it: 8 bytes, or 16 on 64-bit, where a record's second
// pointer lies) or an interesting word.
VariantImage MakeVariant(ByteReader& in, const World& world) {
  VariantImage v;
  v.set_vt(TypeWord(in));
  uint8_t* field = v.data_field();
  if (in.Bit()) {
    for (uint8_t* b = v.bytes().data() + 2; b < field; ++b) *b = in.U8();
  }
  switch (in.Below(3)) {
    case 0:
      PutLittleEndian(field, Pointer(in, world), kLayout.pointer_size);
      break;
    case 1:
      for (uint32_t i = 0; i < kLayout.data_field_size; i += 4)
        PutLittleEndian(field + i, in.U32(), 4);
      break;
    default:
      PutLittleEndian(field, InterestingWord(in), kLayout.pointer_size);
      break;
  }
  return v;
}

// Writes that may land on unmapped memory are simply dropped.
template <typename Write>
void TryWrite(Write write) {
  try {
    write();
  } catch (const RuntimeError&) {
  }
}

// Where regions may go: anywhere in the low 4 GiB (kind 0), in the heap
// arenas, just below 2^31, in the stack's reserve, just below 2^32, in the
// first 64 KiB; on 64-bit also just below the top of the space and across
// 2^32.
constexpr uint32_t kRegionKinds = kWide ? 9 : 7;

Address RegionBase(uint32_t kind, uint32_t where, uint32_t size) {
  switch (kind) {
    case 1:
      return kPlan.general_base + where % 0x40000;
    case 2:
      return k2G - size - where % 64;
    case 3:
      return kReserveLow + where % Stack::kReserve;
    case 4:
      return k4G - size - where % 64;
    case 5:
      return where % 0x10000;
    case 6:
      return kPlan.data_base + where % 0x100000;
    case 7:
      return kLayout.address_end - size - where % 64;
    case 8:
      return k4G - size + 1 + where % size;
    default:
      return where;
  }
}

void MapRegions(ByteReader& in, World& world) {
  AddressSpace& memory = world.process.memory();
  uint32_t budget = kRegionBudget;
  const uint32_t count = in.Below(7);
  for (uint32_t i = 0; i < count && budget > 0; ++i) {
    const uint32_t kind = in.Below(kRegionKinds);
    const uint32_t where = in.U32();
    const uint32_t size_bits = in.U32();
    // Mostly small regions; one in sixteen may take the rest of the budget.
    const uint32_t limit = (size_bits >> 28) == 0xF ? budget : std::min(budget, 4096u);
    const uint32_t size = 1 + size_bits % limit;
    const Address base = RegionBase(kind, where, size);
    const std::vector<uint8_t> fill = in.Bytes(in.U8());
    const bool repeat = in.Bit();
    try {
      if (world.process.stack().InReserve(base, size)) {
        world.process.stack().Place(base, size);
      } else {
        memory.Map(base, size);
      }
    } catch (const RuntimeError&) {
      continue;
    }
    std::vector<uint8_t> content(size);
    for (size_t k = 0; k < size; ++k) {
      if (k < fill.size()) {
        content[k] = fill[k];
      } else if (repeat && !fill.empty()) {
        content[k] = fill[k % fill.size()];
      }
    }
    memory.Write(base, content.data(), size);
    budget -= size;
    world.places.push_back({base, size});
  }
}

void MakeThings(ByteReader& in, World& world) {
  Process& process = world.process;
  const uint32_t count = in.Below(7);
  for (uint32_t i = 0; i < count; ++i) {
    try {
      switch (in.Below(3)) {
        case 0: {
          std::u16string text;
          const uint32_t length = in.Below(64);
          for (uint32_t k = 0; k < length; ++k) text += static_cast<char16_t>(u' ' + in.Below(95));
          const Address bstr = automation::SysAllocString(process, text);
          world.places.push_back({bstr - 4, static_cast<uint32_t>(text.size() * 2 + 6)});
          break;
        }
        case 1: {
          constexpr uint16_t kElementTypes[] = {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 17};
          const uint16_t type = kElementTypes[in.Below(std::size(kElementTypes))];
          std::vector<automation::DeclaredBound> bounds(1 + in.Below(3));
          for (auto& b : bounds) {
            b.lower = static_cast<int8_t>(in.U8());
            b.upper = b.lower + static_cast<int32_t>(in.Below(9)) - 1;
          }
          const Address descriptor = automation::SafeArrayCreate(process, type, bounds);
          world.places.push_back(
              {descriptor, kLayout.descriptor_head +
                               automation::kBoundSize * static_cast<uint32_t>(bounds.size())});
          const Address data = automation::SafeArrayData(process.memory(), descriptor);
          const uint64_t bytes = automation::SafeArrayElementCount(process.memory(), descriptor) *
                                 automation::SafeArrayElementSize(process.memory(), descriptor);
          world.places.push_back({data, static_cast<uint32_t>(std::max<uint64_t>(bytes, 1))});
          break;
        }
        default: {
          constexpr const char16_t* kClasses[] = {u"Collection", u"Form1", u"Thing"};
          std::optional<std::u16string> default_value;
          if (in.Bit()) default_value = u"default";
          const Address object =
              process.NewObject(kClasses[in.Below(std::size(kClasses))], default_value);
          world.places.push_back({object, 16});
          break;
        }
      }
    } catch (const RuntimeError&) {
    }
  }
}

// An array descriptor as 32-bit words: cDims and fFeatures, cbElements,
// cLocks, (on 64-bit 4 bytes of padding,) pvData of the pointer's width,
// then up to four bounds.
std::vector<uint32_t> DescriptorWords(ByteReader& in, const World& world) {
  const uint16_t dims = static_cast<uint16_t>(Interesting(in));
  const uint32_t features = in.U16();
  const uint32_t element_size = Interesting(in);
  std::vector<uint32_t> words = {uint32_t{dims} | (features << 16), element_size, in.U32()};
  const Address data = Pointer(in, world);
  if (kWide) words.push_back(0);
  words.push_back(static_cast<uint32_t>(data));
  if (kWide) words.push_back(static_cast<uint32_t>(data >> 32));
  const uint32_t bounds = std::min<uint32_t>(dims, in.Below(5));
  for (uint32_t k = 0; k < bounds; ++k) {
    words.push_back(Interesting(in));
    words.push_back(Interesting(in));
  }
  return words;
}

void Patch(ByteReader& in, World& world) {
  AddressSpace& memory = world.process.memory();
  const uint32_t count = in.Below(32);
  for (uint32_t i = 0; i < count; ++i) {
    const Address at = Pointer(in, world);
    switch (in.Below(6)) {
      case 0: {
        const Address to = Pointer(in, world);
        TryWrite([&] { automation::WritePointer(memory, at, to); });
        break;
      }
      case 1: {
        const uint64_t value = InterestingWord(in);
        TryWrite([&] { automation::WritePointer(memory, at, value); });
        break;
      }
      case 2: {
        const uint16_t vt = TypeWord(in);
        TryWrite([&] { automation::WriteInt16(memory, at, static_cast<int16_t>(vt)); });
        break;
      }
      case 3: {
        // Each word on its own, so that the part that lands on mapped memory
        // is written.
        const std::vector<uint32_t> words = DescriptorWords(in, world);
        for (size_t k = 0; k < words.size(); ++k) {
          TryWrite(
              [&] { automation::WriteUInt32(memory, static_cast<Address>(at + 4 * k), words[k]); });
        }
        break;
      }
      case 4: {
        // A string: a length prefix and a few characters after it.
        const uint32_t length = Interesting(in);
        const std::vector<uint8_t> text = in.Bytes(in.Below(16));
        TryWrite([&] { automation::WriteUInt32(memory, at, length); });
        TryWrite([&] { memory.Write(at + 4, text.data(), static_cast<uint32_t>(text.size())); });
        break;
      }
      default: {
        const VariantImage v = MakeVariant(in, world);
        TryWrite([&] { automation::StoreVariant(memory, at, v); });
        break;
      }
    }
  }
}

// An argument that ends past the last mapped page below an edge, so that
// the data field's address (var + 8) or the variant itself runs past it:
// 2^31, the top of the signed range on 32-bit; on 64-bit also 2^32, where
// an address cut to 32 bits wraps, and the top of the space.
Address ArgumentAtEdge(ByteReader& in, World& world) {
  AddressSpace& memory = world.process.memory();
  constexpr Address kEnds[] = {k2G, k4G, kLayout.address_end};
  const Address end = kWide ? kEnds[in.Below(std::size(kEnds))] : k2G;
  const Address page = end - 0x1000;
  if (memory.IsFree(page, 0x1000)) memory.Map(page, 0x1000);
  const Address at = end - kLayout.variant_size + in.Below(kLayout.variant_size);
  const VariantImage v = MakeVariant(in, world);
  const auto fits = static_cast<uint32_t>(std::min<Address>(kLayout.variant_size, end - at));
  TryWrite([&] { memory.Write(at, v.bytes().data(), fits); });
  return at;
}

// The argument variant's address. It may be unmapped: the call must then
// fail cleanly.
Address PlaceArgument(ByteReader& in, World& world) {
  AddressSpace& memory = world.process.memory();
  switch (in.Below(4)) {
    case 0: {
      const VariantImage v = MakeVariant(in, world);
      try {
        automation::Client client(world.process);
        return client.PassValue(v);
      } catch (const RuntimeError&) {
        return 0;
      }
    }
    case 1: {
      const Address at = Pointer(in, world);
      const VariantImage v = MakeVariant(in, world);
      TryWrite([&] { automation::StoreVariant(memory, at, v); });
      return at;
    }
    case 2:
      return Pointer(in, world);
    default:
      return ArgumentAtEdge(in, world);
  }
}

struct Call {
  std::optional<bool> debug;
  std::optional<int32_t> var_flags;
  std::optional<int32_t> vat_flags;
  std::optional<std::u16string> sep;
};

Call ReadCall(ByteReader& in) {
  Call call;
  const uint8_t present = in.U8();
  if ((present & 1) != 0) {
    call.var_flags = in.Below(4) == 0 ? in.I32() : static_cast<int32_t>(in.Below(32));
  }
  if ((present & 2) != 0) {
    call.vat_flags = in.Below(4) == 0 ? in.I32() : static_cast<int32_t>(in.Below(64));
  }
  if ((present & 4) != 0) {
    std::u16string sep;
    const uint32_t length = in.Below(9);
    for (uint32_t k = 0; k < length; ++k) sep += static_cast<char16_t>(in.U16());
    call.sep = sep;
  }
  if ((present & 8) != 0) call.debug = (present & 16) != 0;
  return call;
}

// The same call in another spelling that must not change the result.
Call Equivalent(const Call& call) {
  Call other;
  other.debug = !call.debug.value_or(false);
  other.var_flags = call.var_flags.value_or(dudUdudADOD::varALLINFO);
  other.vat_flags = call.vat_flags.value_or(dudUdudADOD::vatALLINFO) ^ dudUdudADOD::vatStdSep;
  other.sep = call.sep.value_or(u" ");
  return other;
}

struct Snapshot {
  std::map<Address, std::vector<uint8_t>> blocks;
  uint64_t mapped = 0;
  Address stack_pointer = 0;
};

Snapshot Take(Process& process) {
  Snapshot s;
  process.memory().ForEachBlock([&](Address start, std::span<const uint8_t> bytes) {
    s.blocks.emplace(start, std::vector<uint8_t>(bytes.begin(), bytes.end()));
  });
  s.mapped = process.memory().mapped_bytes();
  s.stack_pointer = process.stack().pointer();
  return s;
}

// Memory below the stack pointer is the callee's scratch space.
bool IsScratch(Address address, Address stack_pointer) {
  return address >= kReserveLow && address < stack_pointer;
}

// True when the argument lies in the call's own frames, or what it points
// at does, down the chain a by-reference array takes (the cell, the
// descriptor, its data). Each path then reads what its own locals left
// there, which differ: the report and the twin owe no agreement.
bool ReachesOwnFrames(const Process& process, Address var) {
  const Address stack_pointer = process.stack().pointer();
  if (IsScratch(var + kLayout.variant_size - 1, stack_pointer)) return true;
  constexpr uint32_t kNextOffset[] = {0, 0, kLayout.pv_data_offset};
  Address at = var + automation::kDataFieldOffset;
  for (const uint32_t offset : kNextOffset) {
    uint64_t pointer = 0;  // little-endian, as the client's
    if (!process.memory().TryRead(at, &pointer, kLayout.pointer_size)) return false;
    if (IsScratch(pointer, stack_pointer)) return true;
    at = pointer + offset;
  }
  return false;
}

void CheckUnchanged(const Snapshot& before, Process& process) {
  const Snapshot after = Take(process);
  if (after.stack_pointer != before.stack_pointer) Fail("stack pointer not restored");
  uint64_t added = 0;
  for (const auto& [start, bytes] : after.blocks) {
    if (before.blocks.count(start) != 0) continue;
    // The stack commits its pages lazily, from the new stack pointer up to
    // the lowest committed page: when nothing was pushed yet, that takes in
    // the callers' frames above the pointer too. Those come up as zeros.
    const uint64_t end = uint64_t{start} + bytes.size();
    if (start < kReserveLow || end > kPlan.stack_top) Fail("a new block outside the stack");
    for (size_t k = 0; k < bytes.size(); ++k) {
      if (bytes[k] != 0 && !IsScratch(static_cast<Address>(start + k), before.stack_pointer)) {
        Fail("a byte above the stack pointer written in a newly committed page");
      }
    }
    added += bytes.size();
  }
  if (after.mapped != before.mapped + added) Fail("mapped_bytes grew beyond stack pages");
  for (const auto& [start, bytes] : before.blocks) {
    auto it = after.blocks.find(start);
    if (it == after.blocks.end() || it->second.size() != bytes.size()) {
      Fail("a block of the client's was unmapped or resized");
    }
    // Compare all but the scratch part [kReserveLow, stack pointer).
    const uint64_t end = uint64_t{start} + bytes.size();
    const uint64_t scratch_from = std::max<uint64_t>(start, kReserveLow);
    const uint64_t scratch_to = std::min<uint64_t>(end, before.stack_pointer);
    size_t skip_from = bytes.size();
    size_t skip_to = bytes.size();
    if (scratch_from < scratch_to) {
      skip_from = static_cast<size_t>(scratch_from - start);
      skip_to = static_cast<size_t>(scratch_to - start);
    }
    const uint8_t* was = bytes.data();
    const uint8_t* is = it->second.data();
    if (std::memcmp(was, is, skip_from) != 0 ||
        std::memcmp(was + skip_to, is + skip_to, bytes.size() - skip_to) != 0) {
      Fail("a byte of the client's memory changed");
    }
  }
}

bool KnownError(int number) {
  switch (number) {
    case 5:
    case 6:
    case 7:
    case 9:
    case 13:
    case 14:
    case 28:
    case 91:
    case 94:
    case 438:
      return true;
    default:
      return false;
  }
}

// How the calls ended, printed when the fuzzer exits: a target that only
// ever meets error 5 explores little.
struct Tally {
  uint64_t reports = 0;
  uint64_t capped = 0;
  std::map<int, uint64_t> errors;

  ~Tally() {
    std::fprintf(stderr, "dud: %llu reports, %llu host allocation caps, errors:",
                 static_cast<unsigned long long>(reports), static_cast<unsigned long long>(capped));
    for (const auto& [number, count] : errors) {
      std::fprintf(stderr, " %d x%llu", number, static_cast<unsigned long long>(count));
    }
    std::fprintf(stderr, "\n");
  }
};
Tally g_tally;

struct Outcome {
  std::optional<std::u16string> report;
  int error = 0;
  bool host_limit = false;
  bool sink_full = false;
};

// The report through a sink stops past this many characters: the fuzzer has
// no use for longer ones. The sink's own buffer stays far below the cap.
constexpr size_t kSinkLimit = size_t{8} << 20;

// Thrown by the sink to end a report that is too long; it must pass through
// the call like any exception, leaving the memory as it was.
struct SinkFull {};

// Below the stack pointer lies what earlier calls left. A pointer of the
// input may aim there (at the argument itself, even), and the call then
// reads its own frames: legitimately different from one call to the next.
// Each call therefore starts from the same scratch: this many bytes below the
// stack pointer committed and zero, far more than the call's frames take.
constexpr uint32_t kScratchBytes = 16 * 1024;

void ResetScratch(Process& process) {
  Stack& stack = process.stack();
  const Address pointer = stack.pointer();
  const auto room = static_cast<uint32_t>(pointer - kReserveLow);
  try {
    stack.Push(std::min(room, kScratchBytes));  // zero-filled
  } catch (const RuntimeError&) {
    // A region of the input sits where the pages would go: nothing to reset.
  }
  stack.Restore(pointer);
}

// One call, as the main call's result or, `through_sink`, in pieces.
Outcome Run(World& world, Address var, const Call& call, bool through_sink) {
  Outcome outcome;
  ResetScratch(world.process);
  const Snapshot before = Take(world.process);
  {
    HostAllocationCap cap(kHostCap);
    try {
      RavoDUZE inspector(world.process);
      if (through_sink) {
        std::u16string joined;
        inspector.Report(
            [&](std::u16string& text) {
              if (joined.size() + text.size() > kSinkLimit) throw SinkFull{};
              joined += text;
              text.clear();
            },
            var, call.debug, call.var_flags, call.vat_flags, call.sep);
        outcome.report = std::move(joined);
      } else {
        outcome.report = inspector(var, call.debug, call.var_flags, call.vat_flags, call.sep);
      }
    } catch (const SinkFull&) {
      outcome.sink_full = true;
    } catch (const RuntimeError& e) {
      if (!KnownError(e.number())) Fail("a run-time error the model does not know");
      outcome.error = e.number();
    } catch (const std::bad_alloc&) {
      if (!cap.hit()) Fail("std::bad_alloc below the host allocation cap");
      outcome.host_limit = true;
    } catch (...) {
      Fail("an exception other than RuntimeError left the main call");
    }
  }
  CheckUnchanged(before, world.process);
  if (outcome.report) ++g_tally.reports;
  if (outcome.host_limit) ++g_tally.capped;
  if (outcome.error != 0) ++g_tally.errors[outcome.error];
  return outcome;
}

// With DUD_FUZZ_SHOW set, what an input did: for reading seeds and crashes.
void Show(Address var, const Outcome& outcome) {
  std::fprintf(stderr, "argument at %llu: ", static_cast<unsigned long long>(var));
  if (outcome.report) {
    std::string text;
    for (char16_t c : *outcome.report) text += c < 128 ? static_cast<char>(c) : '?';
    std::fprintf(stderr, "report of %zu characters\n%s\n", outcome.report->size(), text.c_str());
  } else if (outcome.host_limit) {
    std::fprintf(stderr, "host allocation cap hit\n");
  } else {
    std::fprintf(stderr, "run-time error %d\n", outcome.error);
  }
}

// The error the twin answers for: the report's (0 when it succeeded), or,
// when the report printed characters (vatCharASCII), that of the report
// without them. The twin has no print switches, and the character rendering
// converts each element (CLng, then Chr), which raises 5, 6 or 13 on values
// that are only shown otherwise. nullopt when that call hit the host cap.
std::optional<int> PlainError(World& world, Address var, const Call& call, const Outcome& first) {
  if (first.report) return 0;
  const int32_t vat_flags = call.vat_flags.value_or(dudUdudADOD::vatALLINFO);
  const bool conversion = first.error == 5 || first.error == 6 || first.error == 13;
  if (!conversion || (vat_flags & dudUdudADOD::vatCharASCII) == 0) return first.error;
  Call plain = call;
  plain.vat_flags = vat_flags & ~dudUdudADOD::vatCharASCII;
  const Outcome without = Run(world, var, plain, false);
  if (without.host_limit) return std::nullopt;
  return without.report ? 0 : without.error;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteReader in(std::span<const uint8_t>(data, size));
  World world;
  MapRegions(in, world);
  MakeThings(in, world);
  Patch(in, world);
  const Address var = PlaceArgument(in, world);
  const Call call = ReadCall(in);

  const Outcome first = Run(world, var, call, false);
  if (std::getenv("DUD_FUZZ_SHOW") != nullptr) {
    Show(var, first);
    uint8_t bytes[kLayout.variant_size] = {};
    if (world.process.memory().TryRead(var, bytes, sizeof bytes)) {
      std::fprintf(stderr, "the argument's bytes:");
      for (const uint8_t b : bytes) std::fprintf(stderr, " %u", b);
      std::fprintf(stderr, "\n");
    }
  }
  const int32_t flags = call.var_flags.value_or(dudUdudADOD::varALLINFO);
  if (first.report && (flags & 0x17) == 0 && !first.report->empty()) {
    Fail("no section chosen, yet the report is not empty");
  }
  // The same report in pieces needs no large buffer: a host allocation that
  // still passes the cap is out of proportion to the client's memory (the
  // input maps at most 1 MiB or so), not the report's text growing.
  const Outcome second = Run(world, var, Equivalent(call), true);
  if (second.host_limit) Fail("a host allocation past the cap though the report went to a sink");
  if (first.host_limit || second.sink_full) return 0;
  if (first.report != second.report || first.error != second.error) {
    if (std::getenv("DUD_FUZZ_SHOW") != nullptr) Show(var, second);
    Fail("the same call on the same memory gave another result");
  }
  const std::optional<int> report_error = PlainError(world, var, call, first);
  if (!report_error) return 0;
  ResetScratch(world.process);
  const Snapshot before = Take(world.process);
  {
    HostAllocationCap cap(kHostCap);
    try {
      const bool own_frames = ReachesOwnFrames(world.process, var);
      dudUdudADOD::fuzz::CheckOutputs(world.process, var, call.var_flags, *report_error,
                                      !own_frames);
    } catch (const std::bad_alloc&) {
      if (!cap.hit()) Fail("std::bad_alloc below the host allocation cap in an output");
    }
  }
  CheckUnchanged(before, world.process);
  return 0;
}
