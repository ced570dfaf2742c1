// The DLL's entry points, as the host sees them: no exception ever leaves.
//
// The host's frames know nothing of the DLL's C++ exceptions; one unwinding
// into them ends the host. So every export and every COM method whose body
// may throw (an allocation, a std::wstring, a RuntimeError) runs it through
// CatchAll, which hands back the body's HRESULT, or for an exception that
// escaped it E_OUTOFMEMORY (std::bad_alloc) or E_UNEXPECTED (anything else).
#ifndef DUD_WINDOWS_BOUNDARY_H_
#define DUD_WINDOWS_BOUNDARY_H_

#include <new>

#include "windows/win32.h"

namespace dudUdudADOD::windows {

template <typename Body>
HRESULT CatchAll(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace dudUdudADOD::windows

#endif  // DUD_WINDOWS_BOUNDARY_H_
