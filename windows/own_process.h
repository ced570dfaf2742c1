// OwnProcess: the report's ClientProcess on 32-bit Windows, the process the
// component is loaded into, with the Automation runtime's own services.
//
// Used by the COM object (ravoduze_object.h), one instance per public call,
// and by the backend's tests.
//
// Memory is the real memory, read through GuardedMemory. The platform's
// services are the runtime's: conversions through VariantChangeTypeEx in the
// user's locale, SafeArrayGetLBound/UBound, SysStringByteLen, the ANSI code
// page, an object's default value and class name through its IDispatch and
// type information, the version numbers and Comments of the library's own
// version resource. Every pointer taken from the client's memory (a string,
// a descriptor, an object) is checked readable before the runtime is handed
// it, so a stray pointer ends in a run-time error, never a fault; an object
// must in addition have its vtable in loaded code. A deliberately forged
// object can still run its own code: that is any caller's power anyway.
//
// The component's own storage is the call record in the main call's frame,
// locals on the heap and Byte arrays from SafeArrayCreateVector; copies and
// writes go only there.
#ifndef DUD_WINDOWS_OWN_PROCESS_H_
#define DUD_WINDOWS_OWN_PROCESS_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "automation/client_process.h"
#include "windows/guarded_memory.h"
#include "windows/win32.h"

namespace dudUdudADOD::windows {

class OwnProcess final : public automation::ClientProcess {
 public:
  // `library` is the module whose version resource About reads: the DLL.
  explicit OwnProcess(HMODULE library);
  ~OwnProcess() override;
  OwnProcess(const OwnProcess&) = delete;
  OwnProcess& operator=(const OwnProcess&) = delete;

  const GuardedMemory& memory() const override { return memory_; }
  void MoveMemory(Address destination, Address source, uint32_t count) override;

  Address CallRecord(std::span<uint8_t> local) override;
  Address PushLocal(uint32_t size) override;
  void WriteLocal(Address at, const void* bytes, uint32_t size) override;
  uint64_t LocalsMark() const override { return locals_.size(); }
  void PopLocals(uint64_t mark) override;
  Address NewByteArray(uint32_t count) override;
  void DestroyByteArray(Address descriptor) override;

  std::u16string TypeName(const automation::VariantImage& v) const override;
  void AppendText(std::u16string& out, const automation::VariantImage& v) const override;
  uint32_t LenB(const automation::VariantImage& v) const override;
  int32_t ToLong(const automation::VariantImage& v) const override;
  bool HasDefaultValue(Address object) const override;
  char16_t AnsiChar(int32_t code) const override;
  int32_t LBound(Address descriptor, int dimension) const override;
  int32_t UBound(Address descriptor, int dimension) const override;
  uint32_t SysStringByteLen(Address bstr) const override;
  std::optional<automation::LibraryVersion> OwnVersion() const override;

  // The value as a VARIANT the runtime may be handed: a string's text copied
  // into a fresh BSTR, an object checked (it holds a reference the caller
  // releases with VariantClear). Raises 94 for Null, 13 for values without
  // a conversion.
  VARIANT RuntimeValue(const automation::VariantImage& value) const;

 private:
  struct Range {
    Address start;
    uint32_t size;
  };
  // True when the range lies inside storage of the component's own.
  bool IsOwn(Address at, uint32_t size) const;
  // The object at `address` when it looks like a live object (readable, its
  // vtable in loaded code), otherwise nullptr.
  IDispatch* FindObject(Address address) const;
  // The same, raising 91 for 0 and 5 for an address that holds no object.
  IDispatch* Object(Address address) const;
  HMODULE library_;
  GuardedMemory memory_;
  std::vector<std::unique_ptr<uint8_t[]>> locals_;
  std::vector<Range> own_;  // the record, the locals and the byte arrays' data
  std::vector<SAFEARRAY*> arrays_;
};

// The run-time error for a failed runtime call: 6 for an overflow, 13 for a
// type mismatch, 7 for out of memory, 9 for a bad index, 5 otherwise.
[[noreturn]] void RaiseFor(HRESULT hr);

}  // namespace dudUdudADOD::windows

#endif  // DUD_WINDOWS_OWN_PROCESS_H_
