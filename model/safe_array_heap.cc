#include "model/safe_array_heap.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "automation/runtime_error.h"
#include "automation/variant.h"
#include "model/bstr_heap.h"
#include "model/variant_memory.h"

namespace dudUdudADOD::automation {

namespace {

// The block before a descriptor: 12 bytes of room (an interface id on the
// platform) and the element type in the 4 bytes just before the descriptor.
constexpr uint32_t kPrefix = 16;

uint16_t FeaturesFor(uint16_t element_type) {
  uint16_t features = FADF_HAVEVARTYPE;
  switch (element_type) {
    case vbString:
      features |= FADF_BSTR;
      break;
    case vbObject:
      features |= FADF_DISPATCH;
      break;
    case vbDataObject:
      features |= FADF_UNKNOWN;
      break;
    case vbVariant:
      features |= FADF_VARIANT;
      break;
    default:
      break;
  }
  return features;
}

uint32_t DataBytes(const AddressSpace& memory, Address descriptor) {
  return static_cast<uint32_t>(SafeArrayElementCount(memory, descriptor) *
                               SafeArrayElementSize(memory, descriptor));
}

// Visits each element's address (for strings and variants, whose contents are
// owned by the array).
template <typename Visit>
void ForEachElement(const AddressSpace& memory, Address descriptor, Visit visit) {
  const uint64_t count = SafeArrayElementCount(memory, descriptor);
  const uint32_t size = SafeArrayElementSize(memory, descriptor);
  const Address data = SafeArrayData(memory, descriptor);
  for (uint64_t i = 0; i < count; ++i) visit(data + i * size);
}

}  // namespace

Address SafeArrayCreate(Process& process, uint16_t element_type,
                        std::span<const DeclaredBound> bounds) {
  if (bounds.empty() || bounds.size() > kMaxDims) Raise(kSubscriptOutOfRange);
  AddressSpace& memory = process.memory();
  const Layout& layout = memory.layout();
  const uint32_t element_size = StorageSize(element_type, layout);
  if (element_size == 0) Raise(kTypeMismatch);
  uint64_t elements = 1;
  for (const DeclaredBound& b : bounds) {
    const int64_t count = int64_t{b.upper} - b.lower + 1;
    if (count < 0) Raise(kSubscriptOutOfRange);
    elements *= static_cast<uint64_t>(count);
    // Checked at every step so the product itself cannot wrap.
    if (elements * element_size > memory.capacity()) Raise(kOutOfMemory);
  }
  const uint64_t data_bytes = elements * element_size;
  const uint32_t head = DescriptorBytes(layout, static_cast<uint32_t>(bounds.size()));
  if (memory.mapped_bytes() + data_bytes + head + kPrefix > memory.capacity()) {
    Raise(kOutOfMemory);
  }

  const Address block = process.heap().Allocate(kPrefix + head);
  const Address descriptor = block + kPrefix;
  Address data = 0;
  try {
    data = process.heap().AllocateData(static_cast<uint32_t>(data_bytes));
  } catch (...) {
    process.heap().Free(block);
    throw;
  }
  WriteUInt32(memory, descriptor - 4, element_type);
  WriteInt16(memory, descriptor, static_cast<int16_t>(bounds.size()));
  WriteInt16(memory, descriptor + 2, static_cast<int16_t>(FeaturesFor(element_type)));
  WriteUInt32(memory, descriptor + 4, element_size);
  WritePointer(memory, descriptor + layout.pv_data_offset, data);
  for (size_t k = 0; k < bounds.size(); ++k) {
    const DeclaredBound& b = bounds[bounds.size() - 1 - k];  // last declared first
    const Address at = descriptor + DescriptorBytes(layout, static_cast<uint32_t>(k));
    WriteUInt32(memory, at, static_cast<uint32_t>(int64_t{b.upper} - b.lower + 1));
    WriteInt32(memory, at + 4, b.lower);
  }
  return descriptor;
}

namespace {

// What an element owns: a string, or an array held in a Variant (not by
// reference). 0 when it owns nothing.
Address OwnedArray(const VariantImage& element) {
  const uint16_t vt = element.vt();
  return (vt & kByRef) == 0 && (vt & vbArray) != 0 ? element.pointer() : 0;
}

// Frees what the elements of `root` own, the arrays inside its Variants
// whole, and `root` itself unless `keep_root`. Each array is visited once and
// the walk keeps its own list, so arrays that share a nested array, or refer
// back to themselves, take time and host stack in proportion to what is
// there, never to the paths through it.
void FreeArrays(Process& process, Address root, bool keep_root) {
  AddressSpace& memory = process.memory();
  std::vector<Address> todo{root};
  std::unordered_set<Address> seen{root};
  while (!todo.empty()) {
    const Address descriptor = todo.back();
    todo.pop_back();
    const uint16_t type = SafeArrayVarType(memory, descriptor);
    if (type == vbString) {
      ForEachElement(memory, descriptor,
                     [&](Address at) { SysFreeString(process, ReadPointer(memory, at)); });
    } else if (type == vbVariant) {
      ForEachElement(memory, descriptor, [&](Address at) {
        const VariantImage element = LoadVariant(memory, at);
        if (element.vt() == vbString) SysFreeString(process, element.pointer());
        const Address nested = OwnedArray(element);
        if (nested != 0 && seen.insert(nested).second) todo.push_back(nested);
      });
    }
    if (descriptor == root && keep_root) continue;
    process.heap().Free(SafeArrayData(memory, descriptor));
    process.heap().Free(descriptor - kPrefix);
  }
}

// A deep copy that copies each array once: where the source shares a nested
// array, so does the copy, and an array that refers back to itself gives a
// copy that does the same. Copies of String and Variant arrays start as
// zeros and take each element as it is copied, so that a copy that fails
// half way holds only what it owns and is freed whole.
class ArrayCopier {
 public:
  explicit ArrayCopier(Process& process) : process_(process) {}

  Address Run(Address source) {
    const Address root = Shallow(source);
    try {
      while (!pending_.empty()) {
        const auto [from, to] = pending_.back();
        pending_.pop_back();
        CopyElements(from, to);
      }
    } catch (...) {
      FreeArrays(process_, root, false);
      throw;
    }
    return root;
  }

 private:
  // A new descriptor and data like `source`'s; plain elements copied, the
  // others left for CopyElements.
  Address Shallow(Address source) {
    AddressSpace& memory = process_.memory();
    const uint16_t dims = SafeArrayDims(memory, source);
    std::vector<DeclaredBound> bounds(dims);
    for (int d = 1; d <= dims; ++d) {
      bounds[static_cast<size_t>(d - 1)] = {LBound(memory, source, d), UBound(memory, source, d)};
    }
    const uint16_t type = SafeArrayVarType(memory, source);
    // Elements of another size than the type's cannot be copied as that type.
    if (SafeArrayElementSize(memory, source) != StorageSize(type, memory.layout())) {
      Raise(kInvalidArgument);
    }
    const Address copy = SafeArrayCreate(process_, type, bounds);
    copies_.emplace(source, copy);
    if (type == vbString || type == vbVariant) {
      pending_.emplace_back(source, copy);
      return copy;
    }
    try {
      RtlMoveMemory(process_, SafeArrayData(memory, copy), SafeArrayData(memory, source),
                    DataBytes(memory, source));
    } catch (...) {
      FreeArrays(process_, copy, false);  // not yet held by any element
      throw;
    }
    return copy;
  }

  void CopyElements(Address from, Address to) {
    AddressSpace& memory = process_.memory();
    const bool strings = SafeArrayVarType(memory, from) == vbString;
    const uint32_t size = StorageSize(strings ? vbString : vbVariant, memory.layout());
    const uint64_t count = SafeArrayElementCount(memory, from);
    const Address source = SafeArrayData(memory, from);
    const Address target = SafeArrayData(memory, to);
    for (uint64_t i = 0; i < count; ++i) {
      const Address offset = i * size;
      if (strings) {
        WritePointer(memory, target + offset, CopyString(ReadPointer(memory, source + offset)));
      } else {
        StoreVariant(memory, target + offset, CopyElement(LoadVariant(memory, source + offset)));
      }
    }
  }

  VariantImage CopyElement(const VariantImage& element) {
    if (element.vt() == vbString) return VariantImage::String(CopyString(element.pointer()));
    const Address nested = OwnedArray(element);
    if (nested == 0) return element;
    auto known = copies_.find(nested);
    return VariantImage::WithPointer(element.vt(),
                                     known != copies_.end() ? known->second : Shallow(nested));
  }

  Address CopyString(Address bstr) {
    if (bstr == 0) return 0;
    return SysAllocString(process_, ReadString(process_.memory(), bstr));
  }

  Process& process_;
  std::unordered_map<Address, Address> copies_;       // source -> copy
  std::vector<std::pair<Address, Address>> pending_;  // elements still to copy
};

}  // namespace

void SafeArrayClearElements(Process& process, Address descriptor) {
  FreeArrays(process, descriptor, true);
  AddressSpace& memory = process.memory();
  const uint32_t bytes = DataBytes(memory, descriptor);
  if (uint8_t* data = memory.MutableSpan(SafeArrayData(memory, descriptor), bytes)) {
    std::fill(data, data + bytes, 0);
  }
}

void SafeArrayDestroy(Process& process, Address descriptor) {
  if (descriptor != 0) FreeArrays(process, descriptor, false);
}

Address SafeArrayCopy(Process& process, Address descriptor) {
  if (descriptor == 0) return 0;
  return ArrayCopier(process).Run(descriptor);
}

std::span<uint8_t> SafeArrayDataBytes(AddressSpace& memory, Address descriptor) {
  const uint64_t bytes =
      SafeArrayElementCount(memory, descriptor) * SafeArrayElementSize(memory, descriptor);
  if (bytes == 0 || bytes > UINT32_MAX) return {};
  uint8_t* data =
      memory.MutableSpan(SafeArrayData(memory, descriptor), static_cast<uint32_t>(bytes));
  if (data == nullptr) return {};
  return {data, static_cast<size_t>(bytes)};
}

}  // namespace dudUdudADOD::automation
