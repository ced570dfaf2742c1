#include "automation/safe_array.h"

#include <algorithm>
#include <vector>

#include "automation/bstr.h"
#include "automation/runtime_error.h"
#include "automation/variant.h"
#include "automation/variant_memory.h"

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
  for (uint64_t i = 0; i < count; ++i) visit(static_cast<Address>(data + i * size));
}

}  // namespace

Address SafeArrayCreate(Process& process, uint16_t element_type,
                        std::span<const DeclaredBound> bounds) {
  if (bounds.empty() || bounds.size() > kMaxDims) Raise(kSubscriptOutOfRange);
  const uint32_t element_size = StorageSize(element_type);
  if (element_size == 0) Raise(kTypeMismatch);
  uint64_t elements = 1;
  for (const DeclaredBound& b : bounds) {
    const int64_t count = int64_t{b.upper} - b.lower + 1;
    if (count < 0) Raise(kSubscriptOutOfRange);
    elements *= static_cast<uint64_t>(count);
    // Checked at every step so the product itself cannot wrap.
    if (elements * element_size > AddressSpace::kCapacity) Raise(kOutOfMemory);
  }
  const uint64_t data_bytes = elements * element_size;
  const uint32_t head = kDescriptorHead + kBoundSize * static_cast<uint32_t>(bounds.size());
  AddressSpace& memory = process.memory();
  if (memory.mapped_bytes() + data_bytes + head + kPrefix > AddressSpace::kCapacity) {
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
  WriteUInt32(memory, descriptor + 12, data);
  for (size_t k = 0; k < bounds.size(); ++k) {
    const DeclaredBound& b = bounds[bounds.size() - 1 - k];  // last declared first
    const Address at = descriptor + kDescriptorHead + kBoundSize * static_cast<uint32_t>(k);
    WriteUInt32(memory, at, static_cast<uint32_t>(int64_t{b.upper} - b.lower + 1));
    WriteInt32(memory, at + 4, b.lower);
  }
  return descriptor;
}

void SafeArrayClearElements(Process& process, Address descriptor) {
  AddressSpace& memory = process.memory();
  const uint16_t type = SafeArrayVarType(memory, descriptor);
  if (type == vbString) {
    ForEachElement(memory, descriptor,
                   [&](Address at) { SysFreeString(process, ReadUInt32(memory, at)); });
  } else if (type == vbVariant) {
    ForEachElement(memory, descriptor, [&](Address at) {
      VariantImage element = LoadVariant(memory, at);
      VariantClear(process, element);
    });
  }
  const uint32_t bytes = DataBytes(memory, descriptor);
  if (uint8_t* data = memory.MutableSpan(SafeArrayData(memory, descriptor), bytes)) {
    std::fill(data, data + bytes, 0);
  }
}

void SafeArrayDestroy(Process& process, Address descriptor) {
  if (descriptor == 0) return;
  SafeArrayClearElements(process, descriptor);
  AddressSpace& memory = process.memory();
  process.heap().Free(SafeArrayData(memory, descriptor));
  process.heap().Free(descriptor - kPrefix);
}

Address SafeArrayCopy(Process& process, Address descriptor) {
  if (descriptor == 0) return 0;
  AddressSpace& memory = process.memory();
  const uint16_t dims = SafeArrayDims(memory, descriptor);
  std::vector<DeclaredBound> bounds(dims);
  for (int d = 1; d <= dims; ++d) {
    bounds[static_cast<size_t>(d - 1)] = {LBound(memory, descriptor, d),
                                          UBound(memory, descriptor, d)};
  }
  const uint16_t type = SafeArrayVarType(memory, descriptor);
  const Address copy = SafeArrayCreate(process, type, bounds);
  const Address from = SafeArrayData(memory, descriptor);
  const Address to = SafeArrayData(memory, copy);
  RtlMoveMemory(process, to, from, DataBytes(memory, descriptor));
  if (type == vbString) {
    ForEachElement(memory, copy, [&](Address at) {
      const Address source = ReadUInt32(memory, at);
      if (source != 0) WriteUInt32(memory, at, SysAllocString(process, ReadString(memory, source)));
    });
  } else if (type == vbVariant) {
    ForEachElement(memory, copy, [&](Address at) {
      StoreVariant(memory, at, VariantCopy(process, LoadVariant(memory, at)));
    });
  }
  return copy;
}

uint16_t SafeArrayDims(const Memory& memory, Address descriptor) {
  return ReadUInt16(memory, descriptor);
}

uint32_t SafeArrayElementSize(const Memory& memory, Address descriptor) {
  return ReadUInt32(memory, descriptor + 4);
}

Address SafeArrayData(const Memory& memory, Address descriptor) {
  return ReadUInt32(memory, descriptor + 12);
}

uint16_t SafeArrayVarType(const Memory& memory, Address descriptor) {
  return static_cast<uint16_t>(ReadUInt32(memory, descriptor - 4));
}

uint64_t SafeArrayElementCount(const Memory& memory, Address descriptor) {
  const uint16_t dims = SafeArrayDims(memory, descriptor);
  uint64_t count = 1;
  for (uint32_t k = 0; k < dims && count != 0; ++k) {
    count *= ReadUInt32(memory, descriptor + kDescriptorHead + kBoundSize * k);
    if (count > AddressSpace::kCapacity) return count;  // no real array is larger
  }
  return count;
}

namespace {

// The stored bound entry of a dimension counted from 1 in declaration order.
Address BoundEntry(const Memory& memory, Address descriptor, int dimension) {
  if (descriptor == 0) Raise(kSubscriptOutOfRange);
  const int dims = SafeArrayDims(memory, descriptor);
  if (dimension < 1 || dimension > dims) Raise(kSubscriptOutOfRange);
  return descriptor + kDescriptorHead + kBoundSize * static_cast<uint32_t>(dims - dimension);
}

}  // namespace

int32_t LBound(const Memory& memory, Address descriptor, int dimension) {
  return ReadInt32(memory, BoundEntry(memory, descriptor, dimension) + 4);
}

int32_t UBound(const Memory& memory, Address descriptor, int dimension) {
  const Address entry = BoundEntry(memory, descriptor, dimension);
  const int64_t upper = int64_t{ReadInt32(memory, entry + 4)} + ReadUInt32(memory, entry) - 1;
  if (upper > INT32_MAX || upper < INT32_MIN) Raise(kOverflow);
  return static_cast<int32_t>(upper);
}

}  // namespace dudUdudADOD::automation
