#include "automation/safe_array.h"

#include "automation/runtime_error.h"

namespace dudUdudADOD::automation {

uint16_t SafeArrayDims(const Memory& memory, Address descriptor) {
  return ReadUInt16(memory, descriptor);
}

uint32_t SafeArrayElementSize(const Memory& memory, Address descriptor) {
  return ReadUInt32(memory, descriptor + 4);
}

Address SafeArrayData(const Memory& memory, Address descriptor) {
  return ReadPointer(memory, descriptor + memory.layout().pv_data_offset);
}

uint32_t DescriptorBytes(const Layout& layout, uint32_t dims) {
  return layout.descriptor_head + kBoundSize * dims;
}

uint16_t SafeArrayVarType(const Memory& memory, Address descriptor) {
  return static_cast<uint16_t>(ReadUInt32(memory, descriptor - 4));
}

uint64_t SafeArrayElementCount(const Memory& memory, Address descriptor) {
  const uint16_t dims = SafeArrayDims(memory, descriptor);
  uint64_t count = 1;
  for (uint32_t k = 0; k < dims && count != 0; ++k) {
    count *= ReadUInt32(memory, descriptor + DescriptorBytes(memory.layout(), k));
    if (count > kLargestData) return count;  // no real array is larger
  }
  return count;
}

uint64_t SafeArrayDataSize(const Memory& memory, Address descriptor) {
  if (descriptor == 0) return 0;
  const uint64_t count = SafeArrayElementCount(memory, descriptor);
  const uint64_t element_size = SafeArrayElementSize(memory, descriptor);
  // No real array holds more than the space; this also keeps the product
  // from wrapping for a descriptor that lies.
  if (count > kLargestData || element_size > kLargestData) {
    Raise(kInvalidArgument);
  }
  return count * element_size;
}

namespace {

// The stored bound entry of a dimension counted from 1 in declaration order.
Address BoundEntry(const Memory& memory, Address descriptor, int dimension) {
  if (descriptor == 0) Raise(kSubscriptOutOfRange);
  const int dims = SafeArrayDims(memory, descriptor);
  if (dimension < 1 || dimension > dims) Raise(kSubscriptOutOfRange);
  return descriptor + DescriptorBytes(memory.layout(), static_cast<uint32_t>(dims - dimension));
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

Address SafeArrayElementAddress(const Memory& memory, Address descriptor,
                                std::span<const int32_t> indexes) {
  if (descriptor == 0 || indexes.size() != SafeArrayDims(memory, descriptor)) {
    Raise(kSubscriptOutOfRange);
  }
  // The first declared dimension changes fastest in the data.
  uint64_t offset = 0;
  uint64_t stride = 1;
  for (size_t k = 0; k < indexes.size(); ++k) {
    const int dimension = static_cast<int>(k + 1);
    const int32_t lower = LBound(memory, descriptor, dimension);
    const int32_t upper = UBound(memory, descriptor, dimension);
    if (indexes[k] < lower || indexes[k] > upper) Raise(kSubscriptOutOfRange);
    offset += static_cast<uint64_t>(int64_t{indexes[k]} - lower) * stride;
    stride *= static_cast<uint64_t>(int64_t{upper} - lower + 1);
  }
  return static_cast<Address>(SafeArrayData(memory, descriptor) +
                              offset * SafeArrayElementSize(memory, descriptor));
}

}  // namespace dudUdudADOD::automation
