// OwnProcess: the report's ClientProcess on Windows, the process the
// component is loaded into (32- or 64-bit), with the Automation runtime's own
// services.
//
// Used by the COM object (ravoduze_object.h), one instance per public call,
// and by the backend's tests.
//
// Memory is the real memory, read through GuardedMemory: screened, then
// copied with a copy that turns a fault into run-time error 5. The platform's
// services are the runtime's: conversions through VariantChangeTypeEx in the
// call's locale, the ANSI code page, an object's default value and class
// name through its own interfaces, the version numbers and Comments of the
// library's own version resource. Bounds and string lengths are read from
// the client's memory with the same guarded reads, never by the runtime
// straight from a pointer the client handed over.
//
// Client code and what it hands back: an object must have its vtable in
// loaded code before any of its members is called, and whatever it returns
// (a type description, a default value, a string) is screened as client
// memory before it is used or freed. A result that cannot be vouched for is
// left as it stands (a leak at worst, never a fault). An object's default
// member runs at most once per value: its answer is kept for the object
// last asked, as CStr would call it once. A deliberately forged object can
// still run its own code: that is any caller's power anyway.
//
// The locale: every text of a report is the one the client's own CStr would
// write in the call's locale, the one a caller names through
// IDispatch::Invoke or else the user's. Numbers formatted by the report code
// itself (the elements of typed Single, Double and Currency arrays) take
// that locale's decimal separator through DecimalSeparator.
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
  // `locale` is the call's, LOCALE_USER_DEFAULT unless a caller named one.
  explicit OwnProcess(HMODULE library, LCID locale = LOCALE_USER_DEFAULT);
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
  char16_t DecimalSeparator() const override;
  // String lengths and texts are guarded reads, which two threads may make
  // at once (guarded_memory.h).
  bool ConcurrentReads() const override { return true; }
  std::optional<automation::LibraryVersion> OwnVersion() const override;

  // The value as a VARIANT the runtime may be handed: a string's text copied
  // into a fresh BSTR, an object replaced by its screened default value.
  // The caller owns it (VariantClear). Raises 94 for Null, 13 for values
  // without a conversion, what the default member raised for an object.
  VARIANT RuntimeValue(const automation::VariantImage& value) const;

  LCID locale() const { return locale_; }

 private:
  struct Range {
    Address start;
    uint32_t size;
  };
  // An object's default value, as its default member last gave it.
  struct DefaultValue {
    Address object = 0;
    HRESULT result = E_FAIL;
    VARIANT value{};  // screened: a plain value or a BSTR of our own
  };

  // True when the range lies inside storage of the component's own.
  bool IsOwn(Address at, uint32_t size) const;
  // The interface at `address` when it looks like a live object: readable,
  // its first `entries` vtable entries in loaded code. nullptr otherwise.
  void* FindInterface(Address address, uint32_t entries) const;
  IDispatch* FindObject(Address address) const;
  // The same, raising 91 for 0 and 5 for an address that holds no object.
  IDispatch* Object(Address address) const;
  // The object's default value, asked of it once for as long as it is the
  // last object asked.
  const DefaultValue& DefaultOf(Address object) const;
  // A value an object handed back, made safe for the runtime: a copy the
  // caller owns. Frees what the object handed over when it could be read.
  HRESULT Screen(VARIANT& returned, VARIANT& safe, int depth) const;
  HRESULT AskDefault(IDispatch* object, VARIANT& safe, int depth) const;
  // The name a type description gives itself, when it can be read. Takes
  // over the reference `info` holds, given back once `info` is screened.
  std::optional<std::u16string> TypeInfoName(ITypeInfo* info) const;
  std::optional<std::u16string> ClassName(IDispatch* object) const;
  // A string an object handed over, copied; nullopt when it cannot be read.
  std::optional<std::u16string> ScreenedString(BSTR text) const;

  HMODULE library_;
  LCID locale_;
  GuardedMemory memory_;
  std::vector<std::unique_ptr<uint8_t[]>> locals_;
  std::vector<Range> own_;  // the record, the locals and the byte arrays' data
  std::vector<SAFEARRAY*> arrays_;
  mutable DefaultValue default_;
  char16_t decimal_separator_;  // asked once: walks may read it on two threads
};

// The run-time error for a failed runtime call: N for 0x800A0000 + N (a
// run-time error an object raised), 6 for an overflow, 13 for a type
// mismatch, 7 for out of memory, 9 for a bad index, 5 otherwise.
[[noreturn]] void RaiseFor(HRESULT hr);

}  // namespace dudUdudADOD::windows

#endif  // DUD_WINDOWS_OWN_PROCESS_H_
