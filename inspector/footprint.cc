#include "inspector/footprint.h"

#include <algorithm>
#include <unordered_set>

#include "automation/bstr.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "automation/variant.h"

namespace dudUdudADOD {

using namespace automation;  // the platform model is this file's vocabulary

namespace {

// Features that make the platform keep 16 bytes before a descriptor.
constexpr uint16_t kPrefixFeatures = 0x0020 | 0x0040 | FADF_HAVEVARTYPE;  // record, IID, type
constexpr uint32_t kDescriptorPrefix = 16;
constexpr uint32_t kStringOverhead = 4 + 2;  // length prefix and terminator

class Measure {
 public:
  explicit Measure(const ClientProcess& process)
      : process_(process), memory_(process.memory()), layout_(memory_.layout()) {}

  FootprintFact Run(Address var) {
    const VariantImage arg = LoadVariant(memory_, var);
    Add(BlockKind::kArgument, var, layout_.variant_size, 0);
    const uint16_t vt = arg.vt();
    if ((vt & kByRef) != 0) {
      const auto type = static_cast<uint16_t>(vt & ~kByRef);
      const Address cell = arg.pointer();
      const uint32_t size =
          (type & vbArray) != 0 ? layout_.pointer_size : StorageSize(type, layout_);
      if (size != 0) Add(BlockKind::kVariable, cell, size, var);
      if ((type & vbArray) != 0) {
        Array(ReadPointer(memory_, cell), cell);
      } else if (type == vbVariant) {
        Value(LoadVariant(memory_, cell), cell);
      } else if (type == vbString) {
        String(ReadPointer(memory_, cell), cell);
      }
    } else {
      Value(arg, var);
    }
    while (!arrays_.empty()) {
      const auto [descriptor, parent] = arrays_.back();
      arrays_.pop_back();
      ArrayBlocks(descriptor, parent);
    }
    return Finish();
  }

 private:
  // What a variant (not by reference) that lies in block `parent` owns.
  void Value(const VariantImage& v, Address parent) {
    if ((v.vt() & kByRef) != 0) return;  // not its own
    if ((v.vt() & vbArray) != 0) Array(v.pointer(), parent);
    if (v.vt() == vbString) String(v.pointer(), parent);
  }

  void Array(Address descriptor, Address parent) {
    if (descriptor != 0 && seen_arrays_.insert(descriptor).second) {
      arrays_.emplace_back(descriptor, parent);
    }
  }

  void String(Address bstr, Address parent) {
    if (bstr != 0) strings_.emplace_back(bstr, parent);
  }

  void ArrayBlocks(Address descriptor, Address parent) {
    const uint16_t dims = SafeArrayDims(memory_, descriptor);
    if (dims > kMaxDims) Raise(kSubscriptOutOfRange);
    const uint16_t features = ReadUInt16(memory_, descriptor + 2);
    const uint32_t prefix = (features & kPrefixFeatures) != 0 ? kDescriptorPrefix : 0;
    Add(BlockKind::kDescriptor, descriptor - prefix, prefix + DescriptorBytes(layout_, dims),
        parent);
    fact_.blocks.back().prefix = prefix;
    const uint64_t count = SafeArrayElementCount(memory_, descriptor);
    const uint64_t size = SafeArrayElementSize(memory_, descriptor);
    const Address data = SafeArrayData(memory_, descriptor);
    if (count * size > kLargestData) Raise(kInvalidArgument);  // no array is larger
    if (count == 0 || size == 0) return;
    Add(BlockKind::kData, data, count * size, descriptor - prefix);
    if (!memory_.IsMapped(data, count * size)) Raise(kInvalidArgument);
    if ((features & FADF_BSTR) != 0 && size == layout_.pointer_size) {
      for (uint64_t i = 0; i < count; ++i) String(ReadPointer(memory_, data + i * size), data);
    } else if ((features & FADF_VARIANT) != 0 && size == layout_.variant_size) {
      for (uint64_t i = 0; i < count; ++i) Value(LoadVariant(memory_, data + i * size), data);
    }
  }

  void Add(BlockKind kind, Address address, uint64_t size, Address parent) {
    fact_.blocks.push_back({kind, address, size, parent, 0});
  }

  // String bodies once each, by address; the first kListedStrings in
  // address order are listed.
  FootprintFact Finish() {
    std::sort(strings_.begin(), strings_.end());
    auto last = std::unique(strings_.begin(), strings_.end(),
                            [](const auto& a, const auto& b) { return a.first == b.first; });
    strings_.erase(last, strings_.end());
    for (const auto& [bstr, parent] : strings_) {
      const uint64_t size = uint64_t{process_.SysStringByteLen(bstr)} + kStringOverhead;
      Count(BlockKind::kString, size);
      if (listed_strings_ < kListedStrings) {
        fact_.blocks.push_back({BlockKind::kString, bstr - 4, size, parent, 0});
        ++listed_strings_;
      } else {
        ++fact_.unlisted_strings;
      }
    }
    for (const BlockFact& block : fact_.blocks) {
      if (block.kind != BlockKind::kString) Count(block.kind, block.size);
    }
    std::stable_sort(fact_.blocks.begin(), fact_.blocks.end(),
                     [](const BlockFact& a, const BlockFact& b) { return a.address < b.address; });
    return std::move(fact_);
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
  std::unordered_set<Address> seen_arrays_;
  std::vector<std::pair<Address, Address>> strings_;  // string, parent
  size_t listed_strings_ = 0;
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
  return Measure(process).Run(var);
}

}  // namespace dudUdudADOD
