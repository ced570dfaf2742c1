#include "automation/safe_array_desc.h"

#include "automation/checked_math.h"
#include "automation/runtime_error.h"
#include "automation/variant.h"

namespace dudUdudADOD::automation {

namespace {

int32_t LittleEndian32(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) |
                              (uint32_t{p[3]} << 24));
}

uint64_t LittleEndian64(const uint8_t* p) {
  return static_cast<uint32_t>(LittleEndian32(p)) |
         (uint64_t{static_cast<uint32_t>(LittleEndian32(p + 4))} << 32);
}

// Decodes the head and the first `bounds` bounds of a record image.
void Decode(const Layout& layout, const uint8_t* image, uint32_t bounds, SafeArrayDesc& d) {
  d.cDims = static_cast<int16_t>(image[0] | (image[1] << 8));
  d.fFeatures = static_cast<uint16_t>(image[2] | (image[3] << 8));
  d.cbElements = LittleEndian32(image + 4);
  d.cLocks = LittleEndian32(image + 8);
  const uint8_t* pv_data = image + layout.pv_data_offset;
  d.pvData = layout.pointer_size == 4 ? static_cast<uint32_t>(LittleEndian32(pv_data))
                                      : LittleEndian64(pv_data);
  for (uint32_t k = 0; k < bounds; ++k) {
    d.rgsabound[k].cElements = LittleEndian32(image + DescriptorBytes(layout, k));
    d.rgsabound[k].lLbound = LittleEndian32(image + DescriptorBytes(layout, k) + 4);
  }
}

// cbElements times the product of the stored bounds' cElements, checked.
int32_t TotalBytes(const SafeArrayDesc& d) {
  int32_t elements = 1;
  for (size_t k = 0; k < static_cast<size_t>(d.cDims); ++k) {
    elements = MulLong(elements, d.rgsabound[k].cElements);
  }
  return MulLong(d.cbElements, elements);
}

// The descriptor's address and its dimension count, refused when the record
// cannot hold it. 0 means no storage.
Address DescriptorAt(const Memory& memory, Address cell, int16_t& dims) {
  const Address descriptor = ReadPointer(memory, cell);
  if (descriptor == 0) return 0;
  dims = ReadInt16(memory, descriptor);
  if (dims < 0 || dims > kMaxDims) Raise(kSubscriptOutOfRange);
  return descriptor;
}

}  // namespace

SafeArrayDesc SafeArrayDesc::Load(const Memory& memory, Address record) {
  uint8_t image[kMaxSafeArrayDescSize];
  memory.Read(record, image, SafeArrayDescSize(memory.layout()));
  SafeArrayDesc d;
  Decode(memory.layout(), image, kMaxDims, d);
  return d;
}

void SnapshotSafeArrayDesc(const Memory& memory, Address cell, SafeArrayDesc& desc,
                           int32_t& total) {
  int16_t dims = 0;
  const Address descriptor = DescriptorAt(memory, cell, dims);
  if (descriptor == 0) {
    total = 0;
    return;
  }
  uint8_t image[kMaxSafeArrayDescSize];
  const uint32_t bytes = DescriptorBytes(memory.layout(), static_cast<uint32_t>(dims));
  memory.Read(descriptor, image, bytes);
  Decode(memory.layout(), image, static_cast<uint32_t>(dims), desc);
  total = TotalBytes(desc);
}

namespace {

Address DataFieldOf(const Layout& layout, Address var) {
  return ToAddress(layout, AddAddress(layout, SignedAddress(layout, var), kDataFieldOffset));
}

}  // namespace

// A by-reference Variant is read as the runtime reads it: the variant it
// refers to, then, when that one is by reference too, what it refers to.
Address DescriptorCell(const Memory& memory, Address var) {
  const Layout& layout = memory.layout();
  const uint16_t vt = ReadUInt16(memory, var);
  const Address data_field = DataFieldOf(layout, var);
  if ((vt & kByRef) == 0) return data_field;
  const Address target = ReadPointer(memory, data_field);
  if (vt != (vbVariant | kByRef)) return target;
  const uint16_t inner = ReadUInt16(memory, target);
  if (inner == (vbVariant | kByRef)) Raise(kTypeMismatch);
  const Address inner_field = DataFieldOf(layout, target);
  return (inner & kByRef) != 0 ? ReadPointer(memory, inner_field) : inner_field;
}

void ReadSafeArrayDesc(ClientProcess& process, Address desc, Address cell, int32_t& total) {
  int16_t dims = 0;
  const Address descriptor = DescriptorAt(process.memory(), cell, dims);
  if (descriptor == 0) {
    total = 0;
    return;
  }
  process.MoveMemory(desc, descriptor,
                     DescriptorBytes(process.memory().layout(), static_cast<uint32_t>(dims)));
  total = TotalBytes(SafeArrayDesc::Load(process.memory(), desc));
}

}  // namespace dudUdudADOD::automation
