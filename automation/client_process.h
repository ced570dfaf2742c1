// ClientProcess: the one door through which the report code (sections/,
// inspector/) reaches the client's process: its memory, the component's own
// working storage, and the platform's services.
//
// Two implementations:
//  - Process (model/process.h), the model of a 32-bit or 64-bit client
//    process: the default on every host, for ravoduze, the tests and the
//    benchmarks;
//  - OwnProcess (windows/own_process.h), the process the component is loaded
//    into on 32-bit or 64-bit Windows, with the Automation runtime's own
//    services.
// The report code never knows which one it runs on, so the same code gives
// the same text over both wherever the platform's answers agree.
//
// Contract shared by both:
//  - Nothing here faults the process. What cannot be read, converted or found
//    raises the platform's run-time error (a RuntimeError) with its number;
//    the error numbers are the model's (see runtime_error.h).
//  - The component's own storage (the call record, locals, its byte arrays)
//    is readable through memory() like the client's, so the report can show
//    its addresses and bytes.
//  - Services take variant images as the client handed them over and follow a
//    by-reference variant to its value first, as the runtime does.
//  - One thread calls an instance at a time (the apartment's rule).
#ifndef DUD_AUTOMATION_CLIENT_PROCESS_H_
#define DUD_AUTOMATION_CLIENT_PROCESS_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "automation/memory.h"
#include "automation/variant.h"

namespace dudUdudADOD::automation {

// The version numbers and the Comments text of the component's library, as
// About shows them.
struct LibraryVersion {
  int16_t major = 0;
  int16_t minor = 0;
  int16_t revision = 0;
  std::u16string comments;
};

class ClientProcess {
 public:
  virtual ~ClientProcess() = default;

  // The client's memory, every read guarded.
  virtual const Memory& memory() const = 0;

  // RtlMoveMemory: `count` bytes from any readable `source` to `destination`,
  // which must be storage of the component's own (the call record, a local,
  // a byte array of its own). Raises 5 and copies nothing otherwise.
  virtual void MoveMemory(Address destination, Address source, uint32_t count) = 0;

  // --- The component's working storage -------------------------------------

  // The main call's descriptor record: `local` is a zeroed buffer in the
  // call's own frame, which the real process uses where it stands; the model
  // places the record in its modelled stack instead. Good until the
  // LocalFrame around the call ends.
  virtual Address CallRecord(std::span<uint8_t> local) = 0;
  // `size` zeroed bytes of the component's own, until the LocalFrame that was
  // innermost when they were taken ends.
  virtual Address PushLocal(uint32_t size) = 0;
  // Writes into storage from PushLocal; raises 5 for any other address.
  virtual void WriteLocal(Address at, const void* bytes, uint32_t size) = 0;
  virtual uint64_t LocalsMark() const = 0;
  virtual void PopLocals(uint64_t mark) = 0;
  // A zero-filled one-dimensional Byte array (0 To count - 1) of the
  // component's own; the descriptor's address. Raises 7 when there is no room.
  virtual Address NewByteArray(uint32_t count) = 0;
  virtual void DestroyByteArray(Address descriptor) = 0;

  // --- The platform's services ---------------------------------------------

  // TypeName: "Long", "Long()" for an array, an object's class name,
  // "Nothing", "Empty", "Null".
  virtual std::u16string TypeName(const VariantImage& v) const = 0;
  // CStr, appended to `out`: 94 for Null, 13 for a value without text.
  virtual void AppendText(std::u16string& out, const VariantImage& v) const = 0;
  std::u16string Text(const VariantImage& v) const {
    std::u16string text;
    AppendText(text, v);
    return text;
  }
  // LenB of the value as a string.
  virtual uint32_t LenB(const VariantImage& v) const = 0;
  // CLng: rounded half to even; 6 out of range, 13 no number, 94 Null.
  virtual int32_t ToLong(const VariantImage& v) const = 0;
  // True when the object at `object` has a default value that converts to
  // text; false for Nothing, for an address that holds no object and for an
  // object without one.
  virtual bool HasDefaultValue(Address object) const = 0;
  // Chr of a code of the ANSI code page, 0 to 255; 5 for other codes.
  virtual char16_t AnsiChar(int32_t code) const = 0;
  // LBound and UBound of a dimension counted from 1; 9 for an array without
  // storage or a dimension it does not have.
  virtual int32_t LBound(Address descriptor, int dimension) const = 0;
  virtual int32_t UBound(Address descriptor, int dimension) const = 0;
  // The byte length of a string; 0 for the null string, 5 when its prefix
  // cannot be read.
  virtual uint32_t SysStringByteLen(Address bstr) const = 0;
  // A string's text appended to `out`; 5 when any of it cannot be read.
  void AppendString(std::u16string& out, Address bstr) const;
  // The decimal separator of the locale whose texts the platform writes,
  // for the numbers the report formats itself (elements of typed Single,
  // Double and Currency arrays), so that they read as the platform's own
  // texts of the same values do.
  virtual char16_t DecimalSeparator() const { return u'.'; }
  // Whether SysStringByteLen and the reads of memory() may run on two
  // threads at once (no mutation beside them), so that a walk over an
  // array's strings may be split between threads.
  virtual bool ConcurrentReads() const { return false; }

  // The version information of the component's library as that library
  // carries it, or nullopt where there is no library file (the model): then
  // the compiled-in version information stands.
  virtual std::optional<LibraryVersion> OwnVersion() const = 0;
};

// The component's locals taken within a scope, released when it ends.
class LocalFrame {
 public:
  explicit LocalFrame(ClientProcess& process) : process_(process), mark_(process.LocalsMark()) {}
  ~LocalFrame() { process_.PopLocals(mark_); }
  LocalFrame(const LocalFrame&) = delete;
  LocalFrame& operator=(const LocalFrame&) = delete;

 private:
  ClientProcess& process_;
  uint64_t mark_;
};

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_CLIENT_PROCESS_H_
