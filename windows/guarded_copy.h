// GuardedCopy: a copy from memory that may vanish while it is read, which
// reports a fault instead of taking the process down.
//
// The component reads memory that it does not own while the client's other
// threads run, and while it runs client code itself (an object's default
// member may free the very pages a report is reading). A check of the pages
// before the copy cannot close that race; the copy itself must survive it.
//
// The copy is one `rep movsb` in a routine of its own; a vectored exception
// handler, installed for as long as a FaultHandlerScope lives, sends an
// access violation, an in-page error or a guard-page violation raised at
// that one instruction to the routine's failure exit, and leaves every other
// exception to the handlers after it. Nothing else is unwound: the routine
// has no frame beyond the two registers it saves, and its failure exit
// restores them. A guard page the copy touched (a thread's stack guard that
// a racing change made readable an instant before) is armed again, since
// the system disarms it as it reports the violation.
//
// Contract:
//  - GuardedCopy copies `size` bytes and returns true, or returns false when
//    any byte faulted; `dest` then holds an unspecified prefix of the bytes.
//    `dest` must be the caller's own writable storage.
//  - Only a copy made while a FaultHandlerScope lives (on any thread) is
//    guarded; scopes nest and may live on several threads at once.
#ifndef DUD_WINDOWS_GUARDED_COPY_H_
#define DUD_WINDOWS_GUARDED_COPY_H_

#include <cstddef>

namespace dudUdudADOD::windows {

bool GuardedCopy(void* dest, const void* source, size_t size);

class FaultHandlerScope {
 public:
  FaultHandlerScope();
  ~FaultHandlerScope();
  FaultHandlerScope(const FaultHandlerScope&) = delete;
  FaultHandlerScope& operator=(const FaultHandlerScope&) = delete;

  // False when the system would not install the handler: no copy is then
  // guarded, and readers must not copy.
  bool active() const { return handle_ != nullptr; }

 private:
  void* handle_;
};

}  // namespace dudUdudADOD::windows

#endif  // DUD_WINDOWS_GUARDED_COPY_H_
