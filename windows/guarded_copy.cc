#include "windows/guarded_copy.h"

#include <cstdint>

#include "windows/win32.h"

// The copy routine, in the calling convention of each width:
//   int dud_guarded_copy(void* dest, const void* source, size_t size);
// returns 0 when every byte was copied, 1 when the copy faulted. The label
// dud_guarded_copy_at marks the one instruction that touches the source;
// dud_guarded_copy_failed is where the handler resumes a faulted copy.
#if defined(__x86_64__)
asm(R"(
  .text
  .p2align 4
  .globl dud_guarded_copy
  .globl dud_guarded_copy_at
  .globl dud_guarded_copy_failed
  .def dud_guarded_copy; .scl 2; .type 32; .endef
  .seh_proc dud_guarded_copy
dud_guarded_copy:
  pushq %rsi
  .seh_pushreg %rsi
  pushq %rdi
  .seh_pushreg %rdi
  .seh_endprologue
  movq %rcx, %rdi
  movq %rdx, %rsi
  movq %r8, %rcx
dud_guarded_copy_at:
  rep movsb
  xorl %eax, %eax
  popq %rdi
  popq %rsi
  ret
dud_guarded_copy_failed:
  movl $1, %eax
  popq %rdi
  popq %rsi
  ret
  .seh_endproc
)");
#elif defined(__i386__)
asm(R"(
  .text
  .p2align 4
  .globl _dud_guarded_copy
  .globl _dud_guarded_copy_at
  .globl _dud_guarded_copy_failed
_dud_guarded_copy:
  pushl %esi
  pushl %edi
  movl 12(%esp), %edi
  movl 16(%esp), %esi
  movl 20(%esp), %ecx
  cld
_dud_guarded_copy_at:
  rep movsb
  xorl %eax, %eax
  popl %edi
  popl %esi
  ret
_dud_guarded_copy_failed:
  movl $1, %eax
  popl %edi
  popl %esi
  ret
)");
#else
#error "the guarded copy is written for x86 and x86-64"
#endif

extern "C" {
int dud_guarded_copy(void* dest, const void* source, size_t size);
// Labels, not functions: only their addresses are used.
void dud_guarded_copy_at();
void dud_guarded_copy_failed();
}

namespace dudUdudADOD::windows {

namespace {

uintptr_t CodeAddress(void (*label)()) { return reinterpret_cast<uintptr_t>(label); }

// The system disarms a guard page as it reports the violation; a stack's
// guard must stay armed for its thread to grow its stack.
void RearmGuardPage(const EXCEPTION_RECORD& record) {
  if (record.NumberParameters < 2) return;
  void* at = reinterpret_cast<void*>(record.ExceptionInformation[1]);
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(at, &info, sizeof info) != sizeof info || info.State != MEM_COMMIT) return;
  DWORD old = 0;
  VirtualProtect(info.BaseAddress, 1, info.Protect | PAGE_GUARD, &old);
}

LONG CALLBACK OnFault(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  const DWORD code = record.ExceptionCode;
  if (code != EXCEPTION_ACCESS_VIOLATION && code != EXCEPTION_IN_PAGE_ERROR &&
      code != STATUS_GUARD_PAGE_VIOLATION) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  CONTEXT& context = *pointers->ContextRecord;
#if defined(__x86_64__)
  auto& ip = context.Rip;
#else
  auto& ip = context.Eip;
#endif
  if (ip != CodeAddress(dud_guarded_copy_at)) return EXCEPTION_CONTINUE_SEARCH;
  if (code == STATUS_GUARD_PAGE_VIOLATION) RearmGuardPage(record);
  ip = CodeAddress(dud_guarded_copy_failed);
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

bool GuardedCopy(void* dest, const void* source, size_t size) {
  return size == 0 || dud_guarded_copy(dest, source, size) == 0;
}

// First in line: a host's own handler must not see a fault that is ours.
FaultHandlerScope::FaultHandlerScope() : handle_(AddVectoredExceptionHandler(1, OnFault)) {}

FaultHandlerScope::~FaultHandlerScope() {
  if (handle_ != nullptr) RemoveVectoredExceptionHandler(handle_);
}

}  // namespace dudUdudADOD::windows
