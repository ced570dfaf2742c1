// Registration of the component in the registry, for DllRegisterServer and
// DllUnregisterServer (regsvr32 and regsvr32 /u).
//
// Register writes, under HKEY_CLASSES_ROOT: the class (CLSID\{...} with
// InprocServer32 naming the DLL, ThreadingModel Apartment, ProgID,
// VersionIndependentProgID, TypeLib, Version, Programmable), the ProgIDs
// dudUdudADOD.RavoDUZE.1 and the version-independent dudUdudADOD.RavoDUZE
// (with CurVer), and registers the embedded type library. On failure it
// removes what it wrote. Unregister removes all of it, the type library's
// keys included, and succeeds when nothing was registered. Neither throws:
// memory running out ends them with E_OUTOFMEMORY.
#ifndef DUD_WINDOWS_REGISTRATION_H_
#define DUD_WINDOWS_REGISTRATION_H_

#include "windows/win32.h"

namespace dudUdudADOD::windows {

HRESULT Register(HMODULE module) noexcept;
HRESULT Unregister() noexcept;

}  // namespace dudUdudADOD::windows

#endif  // DUD_WINDOWS_REGISTRATION_H_
