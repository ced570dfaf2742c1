#include "automation/bstr.h"

#include "automation/runtime_error.h"

namespace dudUdudADOD::automation {

namespace {
constexpr uint32_t kPrefix = 4;
}

Address SysAllocString(Process& process, std::u16string_view text) {
  const uint64_t byte_len = uint64_t{text.size()} * 2;
  if (byte_len > AddressSpace::kCapacity) Raise(kOutOfMemory);
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

uint32_t SysStringByteLen(const AddressSpace& memory, Address bstr) {
  if (bstr == 0) return 0;
  if (bstr < kPrefix) Raise(kInvalidArgument);
  return ReadUInt32(memory, bstr - kPrefix);
}

std::u16string ReadString(const AddressSpace& memory, Address bstr) {
  const uint32_t chars = SysStringByteLen(memory, bstr) / 2;
  if (chars == 0) return {};
  if (!memory.IsMapped(bstr, uint64_t{chars} * 2)) Raise(kInvalidArgument);
  std::u16string text(chars, u'\0');
  const uint8_t* in = memory.Span(bstr, chars * 2);
  if (in != nullptr) {
    for (uint32_t i = 0; i < chars; ++i) {
      text[i] = static_cast<char16_t>(in[2 * i] | (in[2 * i + 1] << 8));
    }
  } else {
    for (uint32_t i = 0; i < chars; ++i) {
      text[i] = static_cast<char16_t>(ReadUInt16(memory, bstr + 2 * i));
    }
  }
  return text;
}

}  // namespace dudUdudADOD::automation
