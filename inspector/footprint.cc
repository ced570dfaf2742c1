#include "inspector/footprint.h"

#include <algorithm>
#include <queue>

#include "automation/bstr.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "automation/variant.h"
#include "inspector/address_set.h"

namespace dudUdudADOD {

using namespace automation;  // the platform model is this file's vocabulary

namespace {

// Features that make the platform keep 16 bytes before a descriptor.
constexpr uint16_t kPrefixFeatures = 0x0020 | 0x0040 | FADF_HAVEVARTYPE;  // record, IID, type
constexpr uint32_t kDescriptorPrefix = 16;
constexpr uint32_t kStringOverhead = 4 + 2;  // length prefix and terminator

// The `limit` blocks of lowest address among those offered, in a max-heap
// on the address; the others are only counted.
class LowestBlocks {
 public:
  explicit LowestBlocks(size_t limit) : limit_(limit) {}

  void Offer(const BlockFact& block) {
    if (heap_.size() < limit_) {
      heap_.push(block);
      return;
    }
    ++unlisted_;
    if (block.address >= heap_.top().address) return;
    heap_.pop();
    heap_.push(block);
  }
  uint64_t unlisted() const { return unlisted_; }

  // Moves the kept blocks to `out`; the heap is left empty.
  void MoveTo(std::vector<BlockFact>& out) {
    while (!heap_.empty()) {
      out.push_back(heap_.top());
      heap_.pop();
    }
  }

 private:
  struct HigherFirst {
    bool operator()(const BlockFact& a, const BlockFact& b) const { return a.address < b.address; }
  };
  size_t limit_;
  std::priority_queue<BlockFact, std::vector<BlockFact>, HigherFirst> heap_;
  uint64_t unlisted_ = 0;
};

// A pointer of `size` bytes, little-endian, from host bytes.
Address PointerFrom(const uint8_t* p, uint32_t size) {
  Address a = 0;
  for (uint32_t k = size; k-- > 0;) a = (a << 8) | p[k];
  return a;
}

class Measure {
 public:
  explicit Measure(const ClientProcess& process)
      : process_(process), memory_(process.memory()), layout_(memory_.layout()) {}

  // Raises what a block raises; `fact_` then holds what came before.
  void Run(Address var) {
    at_ = {BlockKind::kArgument, var};
    const VariantImage arg = LoadVariant(memory_, var);
    Add(BlockKind::kArgument, var, layout_.variant_size, 0);
    const uint16_t vt = arg.vt();
    if ((vt & kByRef) != 0) {
      ByReference(static_cast<uint16_t>(vt & ~kByRef), arg.pointer(), var);
    } else {
      Value(arg, var);
    }
    while (!arrays_.empty()) {
      const auto [descriptor, parent] = arrays_.back();
      arrays_.pop_back();
      ArrayBlocks(descriptor, parent);
    }
  }

  // The blocks listed in address order, and the stop if there was one.
  FootprintFact Finish(std::optional<FootprintStop> stopped) {
    fact_.unlisted_blocks = arrays_listed_.unlisted();
    fact_.unlisted_strings = strings_listed_.unlisted();
    arrays_listed_.MoveTo(fact_.blocks);
    strings_listed_.MoveTo(fact_.blocks);
    std::stable_sort(fact_.blocks.begin(), fact_.blocks.end(),
                     [](const BlockFact& a, const BlockFact& b) { return a.address < b.address; });
    fact_.stopped = stopped;
    return std::move(fact_);
  }

  FootprintStop StopAt(int number) const { return {number, at_.first, at_.second}; }

 private:
  // The variable a by-reference argument points at, of type `type`.
  void ByReference(uint16_t type, Address cell, Address var) {
    at_ = {BlockKind::kVariable, cell};
    const uint32_t size = (type & vbArray) != 0 ? layout_.pointer_size : StorageSize(type, layout_);
    if (size != 0) {
      if (!memory_.IsMapped(cell, size)) Raise(kInvalidArgument);
      Add(BlockKind::kVariable, cell, size, var);
    }
    if ((type & vbArray) != 0) {
      Array(ReadPointer(memory_, cell), cell);
    } else if (type == vbVariant) {
      Value(LoadVariant(memory_, cell), cell);
    } else if (type == vbString) {
      String(ReadPointer(memory_, cell), cell);
    }
  }

  // What a variant of type `vt` holding `pointer`, lying in block `parent`,
  // owns: nothing when it is by reference.
  void Value(uint16_t vt, Address pointer, Address parent) {
    if ((vt & kByRef) != 0) return;
    if ((vt & vbArray) != 0) Array(pointer, parent);
    if (vt == vbString) String(pointer, parent);
  }
  void Value(const VariantImage& v, Address parent) { Value(v.vt(), v.pointer(), parent); }

  void Array(Address descriptor, Address parent) {
    if (descriptor != 0 && seen_arrays_.Insert(descriptor))
      arrays_.emplace_back(descriptor, parent);
  }

  // A string body once, where the report could read it: the prefix and
  // the text.
  void String(Address bstr, Address parent) {
    if (bstr == 0 || bstr == last_string_) return;
    last_string_ = bstr;
    if (!seen_strings_.Insert(bstr)) return;
    at_ = {BlockKind::kString, bstr - std::min<Address>(bstr, 4)};
    const uint32_t bytes = process_.SysStringByteLen(bstr);
    if (!memory_.IsMapped(bstr - 4, uint64_t{4} + (bytes & ~1u))) Raise(kInvalidArgument);
    const uint64_t size = uint64_t{bytes} + kStringOverhead;
    Count(BlockKind::kString, size);
    strings_listed_.Offer({BlockKind::kString, bstr - 4, size, parent, 0});
  }

  void ArrayBlocks(Address descriptor, Address parent) {
    at_ = {BlockKind::kDescriptor, descriptor};
    const uint16_t dims = SafeArrayDims(memory_, descriptor);
    if (dims > kMaxDims) Raise(kSubscriptOutOfRange);
    if (!memory_.IsMapped(descriptor, DescriptorBytes(layout_, dims))) Raise(kInvalidArgument);
    const uint16_t features = ReadUInt16(memory_, descriptor + 2);
    // The prefix counts where it is there to count.
    const uint32_t prefix =
        (features & kPrefixFeatures) != 0 && descriptor >= kDescriptorPrefix &&
                memory_.IsMapped(descriptor - kDescriptorPrefix, kDescriptorPrefix)
            ? kDescriptorPrefix
            : 0;
    Listed(BlockKind::kDescriptor, descriptor - prefix, prefix + DescriptorBytes(layout_, dims),
           parent, prefix);
    const uint64_t count = SafeArrayElementCount(memory_, descriptor);
    const uint64_t size = SafeArrayElementSize(memory_, descriptor);
    const Address data = SafeArrayData(memory_, descriptor);
    at_ = {BlockKind::kData, data};
    if (count * size > kLargestData) Raise(kInvalidArgument);  // no array is larger
    if (count == 0 || size == 0) return;
    if (!memory_.IsMapped(data, count * size)) Raise(kInvalidArgument);
    Listed(BlockKind::kData, data, count * size, descriptor - prefix, 0);
    if ((features & FADF_BSTR) != 0 && size == layout_.pointer_size) {
      Elements(data, count, size, &Measure::StringElement);
    } else if ((features & FADF_VARIANT) != 0 && size == layout_.variant_size) {
      Elements(data, count, size, &Measure::VariantElement);
    }
  }

  void StringElement(const uint8_t* p, Address data) {
    String(PointerFrom(p, layout_.pointer_size), data);
  }
  void VariantElement(const uint8_t* p, Address data) {
    Value(static_cast<uint16_t>(p[0] | (p[1] << 8)),
          PointerFrom(p + kDataFieldOffset, layout_.pointer_size), data);
  }

  // Each element of the data at `data`, from one span of its bytes where
  // the memory gives one, else element by element.
  void Elements(Address data, uint64_t count, uint64_t size,
                void (Measure::*element)(const uint8_t*, Address)) {
    const uint8_t* span = count * size <= UINT32_MAX
                              ? memory_.Span(data, static_cast<uint32_t>(count * size))
                              : nullptr;
    uint8_t one[32];
    for (uint64_t i = 0; i < count; ++i) {
      const uint8_t* p = span + i * size;
      if (span == nullptr) {
        memory_.Read(data + i * size, one, static_cast<uint32_t>(size));
        p = one;
      }
      (this->*element)(p, data);
    }
  }

  void Add(BlockKind kind, Address address, uint64_t size, Address parent) {
    Count(kind, size);
    fact_.blocks.push_back({kind, address, size, parent, 0});
  }

  void Listed(BlockKind kind, Address address, uint64_t size, Address parent, uint32_t prefix) {
    Count(kind, size);
    arrays_listed_.Offer({kind, address, size, parent, prefix});
  }

  void Count(BlockKind kind, uint64_t size) {
    KindTotal& total = fact_.kinds[static_cast<size_t>(kind)];
    ++total.blocks;
    total.bytes += size;
    fact_.total += size;
  }

  const ClientProcess& process_;
  const Memory& memory_;
  const Layout& layout_;
  FootprintFact fact_;
  std::vector<std::pair<Address, Address>> arrays_;  // descriptor, parent: still to measure
  AddressSet seen_arrays_;
  AddressSet seen_strings_;
  Address last_string_ = 0;  // the string met last, which neighbours often share
  LowestBlocks arrays_listed_{kListedBlocks};
  LowestBlocks strings_listed_{kListedStrings};
  std::pair<BlockKind, Address> at_{BlockKind::kArgument, 0};  // the block being read
};

}  // namespace

std::string_view BlockKindName(BlockKind kind) {
  switch (kind) {
    case BlockKind::kArgument:
      return "argument";
    case BlockKind::kVariable:
      return "variable";
    case BlockKind::kDescriptor:
      return "descriptor";
    case BlockKind::kData:
      return "data";
    case BlockKind::kString:
      return "string";
  }
  return "";
}

FootprintFact MeasureFootprint(const ClientProcess& process, Address var) {
  Measure measure(process);
  measure.Run(var);
  return measure.Finish(std::nullopt);
}

FootprintFact MeasureReadable(const ClientProcess& process, Address var) {
  Measure measure(process);
  try {
    measure.Run(var);
  } catch (const RuntimeError& e) {
    return measure.Finish(measure.StopAt(e.number()));
  }
  return measure.Finish(std::nullopt);
}

}  // namespace dudUdudADOD
