#include "sections/memory_bytes.h"

#include <array>

#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "automation/variant.h"
#include "sections/values_info.h"

namespace dudUdudADOD::sections {

namespace {

using automation::Address;
using automation::ClientProcess;

// The dump's own Byte array, destroyed when the dump ends, whether it returns
// or raises.
class ScopedByteArray {
 public:
  ScopedByteArray(ClientProcess& process, int32_t count)
      : process_(process), descriptor_(process.NewByteArray(static_cast<uint32_t>(count))) {}
  ~ScopedByteArray() { process_.DestroyByteArray(descriptor_); }
  ScopedByteArray(const ScopedByteArray&) = delete;
  ScopedByteArray& operator=(const ScopedByteArray&) = delete;

  Address descriptor() const { return descriptor_; }
  Address data() const { return automation::SafeArrayData(process_.memory(), descriptor_); }

 private:
  ClientProcess& process_;
  Address descriptor_;
};

}  // namespace

std::u16string MemoryBytes(ClientProcess& process, int64_t address, int32_t count) {
  // No element 0 to copy into: the platform's subscript error, raised before
  // anything is allocated or read (a negative count included).
  if (count <= 0) automation::Raise(automation::kSubscriptOutOfRange);

  const automation::Layout& layout = process.memory().layout();
  ScopedByteArray bytes(process, count);
  process.MoveMemory(bytes.data(), automation::ToAddress(layout, address),
                     static_cast<uint32_t>(count));

  // The array variable (a cell holding the descriptor's address) and a
  // variant that refers to it, as a caller's runtime would pass the array.
  automation::LocalFrame frame(process);
  const Address cell = process.PushLocal(layout.pointer_size);
  std::array<uint8_t, 8> descriptor{};
  for (size_t i = 0; i < descriptor.size(); ++i) {
    descriptor[i] = static_cast<uint8_t>(bytes.descriptor() >> (8 * i));
  }
  process.WriteLocal(cell, descriptor.data(), layout.pointer_size);
  const Address var = process.PushLocal(layout.variant_size);
  const automation::VariantImage image =
      automation::VariantImage::Reference(automation::vbArray | automation::vbByte, cell);
  process.WriteLocal(var, image.bytes().data(), layout.variant_size);

  // The switches are the dump's own: what the printer writes back stays here.
  Switches switches;
  std::u16string text = ValuesInfo(process, var, u" ", switches);
  // The printer ends its line with CR LF; a table cell carries no line break.
  if (text.size() >= 2) text.resize(text.size() - 2);
  return text;
}

}  // namespace dudUdudADOD::sections
