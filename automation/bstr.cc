#include "automation/bstr.h"

#include <bit>
#include <cstring>

#include "automation/runtime_error.h"

namespace dudUdudADOD::automation {

namespace {
constexpr uint32_t kPrefix = kBstrPrefix;
}

void CheckStringSpace(uint64_t length, uint64_t more) {
  if (more > kMaxStringChars || length > kMaxStringChars - more) Raise(kOutOfStringSpace);
}

uint32_t SysStringByteLen(const Memory& memory, Address bstr) {
  if (bstr == 0) return 0;
  if (bstr < kPrefix) Raise(kInvalidArgument);
  return ReadUInt32(memory, bstr - kPrefix);
}

void AppendUtf16Bytes(std::u16string& out, const Memory& memory, Address at, uint64_t bytes) {
  const uint64_t chars = bytes / 2;
  if (chars == 0) return;
  // A text of up to a few pages is copied straight into its place; a longer
  // one must be wholly readable before host memory is taken for it, since
  // its length may be a stray prefix's.
  constexpr uint64_t kCopiedAtOnce = 1 << 16;
  if (chars * 2 > UINT32_MAX || (chars > kCopiedAtOnce && !memory.IsMapped(at, chars * 2))) {
    Raise(kInvalidArgument);
  }
  const size_t start = out.size();
  out.resize(start + static_cast<size_t>(chars));
  if constexpr (std::endian::native == std::endian::little) {
    // UTF-16 units stand in memory as the host keeps them.
    if (!memory.TryRead(at, out.data() + start, static_cast<uint32_t>(chars * 2))) {
      out.resize(start);
      Raise(kInvalidArgument);
    }
  } else {
    for (size_t i = 0; i < chars; ++i) {
      out[start + i] = static_cast<char16_t>(ReadUInt16(memory, at + static_cast<Address>(2 * i)));
    }
  }
}

void AppendString(std::u16string& out, const Memory& memory, Address bstr) {
  AppendUtf16Bytes(out, memory, bstr, SysStringByteLen(memory, bstr));
}

std::u16string ReadString(const Memory& memory, Address bstr) {
  std::u16string text;
  AppendString(text, memory, bstr);
  return text;
}

}  // namespace dudUdudADOD::automation
