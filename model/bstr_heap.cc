#include "model/bstr_heap.h"

#include "automation/runtime_error.h"

namespace dudUdudADOD::automation {

namespace {
constexpr uint32_t kPrefix = 4;
}

Address SysAllocString(Process& process, std::u16string_view text) {
  const uint64_t byte_len = uint64_t{text.size()} * 2;
  if (byte_len > process.memory().capacity()) Raise(kOutOfMemory);
  const Address block = process.heap().Allocate(static_cast<uint32_t>(byte_len + kPrefix + 2));
  AddressSpace& memory = process.memory();
  WriteUInt32(memory, block, static_cast<uint32_t>(byte_len));
  uint8_t* out = memory.MutableSpan(block + kPrefix, static_cast<uint32_t>(byte_len));
  for (char16_t c : text) {
    *out++ = static_cast<uint8_t>(c);
    *out++ = static_cast<uint8_t>(c >> 8);
  }
  return block + kPrefix;
}

void SysFreeString(Process& process, Address bstr) {
  if (bstr != 0) process.heap().Free(bstr - kPrefix);
}

}  // namespace dudUdudADOD::automation
