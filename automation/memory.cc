#include "automation/memory.h"

#include <cstddef>

namespace dudUdudADOD::automation {

namespace {

template <typename T>
T Load(const Memory& memory, Address address) {
  uint8_t b[sizeof(T)];
  memory.Read(address, b, sizeof(T));
  uint64_t v = 0;
  for (size_t i = 0; i < sizeof(T); ++i) v |= uint64_t{b[i]} << (8 * i);
  return static_cast<T>(v);
}

}  // namespace

const uint8_t* Memory::FindRunBytes(Address address, uint32_t size, uint8_t* scratch, uint32_t,
                                    ReadCache&, uint64_t& readable) const {
  readable = size;
  return TryRead(address, scratch, size) ? scratch : nullptr;
}

bool Memory::TryRead(Address address, void* dest, uint32_t size) const {
  if (!IsMapped(address, size)) return false;
  Read(address, dest, size);
  return true;
}

int16_t ReadInt16(const Memory& m, Address a) { return Load<int16_t>(m, a); }
uint16_t ReadUInt16(const Memory& m, Address a) { return Load<uint16_t>(m, a); }
int32_t ReadInt32(const Memory& m, Address a) { return Load<int32_t>(m, a); }
uint32_t ReadUInt32(const Memory& m, Address a) { return Load<uint32_t>(m, a); }
uint64_t ReadUInt64(const Memory& m, Address a) { return Load<uint64_t>(m, a); }

Address ReadPointer(const Memory& m, Address a) {
  return m.layout().pointer_size == 4 ? ReadUInt32(m, a) : ReadUInt64(m, a);
}

}  // namespace dudUdudADOD::automation
