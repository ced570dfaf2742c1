#include "sections/memory_bytes.h"

#include <array>

#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "automation/variant.h"
#include "sections/values_info.h"

namespace dudUdudADOD::sections {

namespace {

using automation::Address;
using automation::Process;

// The dump's own Byte array on the process heap, destroyed when the dump
// ends, whether it returns or raises.
class ScopedByteArray {
 public:
  ScopedByteArray(Process& process, int32_t count) : process_(process) {
    const std::array<automation::DeclaredBound, 1> bounds{{{0, count - 1}}};
    descriptor_ = automation::SafeArrayCreate(process, automation::vbByte, bounds);
  }
  ~ScopedByteArray() { automation::SafeArrayDestroy(process_, descriptor_); }
  ScopedByteArray(const ScopedByteArray&) = delete;
  ScopedByteArray& operator=(const ScopedByteArray&) = delete;

  Address descriptor() const { return descriptor_; }
  Address data() const { return automation::SafeArrayData(process_.memory(), descriptor_); }

 private:
  Process& process_;
  Address descriptor_ = 0;
};

}  // namespace

std::u16string MemoryBytes(Process& process, int32_t address, int32_t count) {
  // No element 0 to copy into: the platform's subscript error, raised before
  // anything is allocated or read (a negative count included).
  if (count <= 0) automation::Raise(automation::kSubscriptOutOfRange);

  ScopedByteArray bytes(process, count);
  automation::RtlMoveMemory(process, bytes.data(), static_cast<Address>(address),
                            static_cast<uint32_t>(count));

  // The array variable (a cell holding the descriptor's address) and a
  // variant that refers to it, as a caller's runtime would pass the array.
  automation::StackFrame frame(process.stack());
  const Address cell = process.stack().Push(4);
  automation::WriteUInt32(process.memory(), cell, bytes.descriptor());
  const Address var = process.stack().Push(automation::kVariantSize);
  automation::StoreVariant(
      process.memory(), var,
      automation::VariantImage::Reference(automation::vbArray | automation::vbByte, cell));

  // The switches are the dump's own: what the printer writes back stays here.
  bool char_ascii = false;
  bool ordinal_pos = false;
  std::u16string text =
      ValuesInfo(process, var, u" ", false, char_ascii, ordinal_pos, false, false);
  // The printer ends its line with CR LF; a table cell carries no line break.
  if (text.size() >= 2) text.resize(text.size() - 2);
  return text;
}

}  // namespace dudUdudADOD::sections
