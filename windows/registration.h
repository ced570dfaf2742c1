// Registration of the component in the registry: DllRegisterServer and
// DllUnregisterServer (regsvr32, machine-wide) and DllInstall
// (regsvr32 /n /i:user, for the current user only, no administrator rights).
//
// A scope's classes live under HKLM\Software\Classes (machine) or
// HKCU\Software\Classes (user); the system merges both into
// HKEY_CLASSES_ROOT. Register writes there, all from the DLL's own type
// library (its GUID, version, locale and platform, the help string, the
// interfaces), so nothing can drift from what the library declares:
//   CLSID\{class}                  RavoDUZE, with InprocServer32 (the DLL's
//                                  path, ThreadingModel Apartment), ProgID,
//                                  VersionIndependentProgID, TypeLib,
//                                  Version, Programmable
//   dudUdudADOD.RavoDUZE.1         the ProgID, with CLSID
//   dudUdudADOD.RavoDUZE           with CLSID and CurVer
//   TypeLib\{library}\9.0          help string, FLAGS, and 409\win32 or
//                                  409\win64: the DLL's path (no HELPDIR:
//                                  the library has no help files)
//   Interface\{_RavoDUZE}          with the Automation marshaller, TypeLib
//
// A 32-bit and a 64-bit DLL may be registered side by side. The system keeps
// CLSID and Interface apart for the two (its 32- and 64-bit views), but the
// ProgIDs and the library's version key are shared. So Unregister removes
// the class and its platform's library path from its own view always, and
// the shared keys (and any Interface key) only when the other view no
// longer registers the class; a ProgID is removed only while it still names
// this class. A failed Register takes back exactly what it wrote, and
// leaves keys that were there before as they were.
//
// Neither throws; memory running out ends them with E_OUTOFMEMORY.
// Unregister succeeds when nothing was registered.
#ifndef DUD_WINDOWS_REGISTRATION_H_
#define DUD_WINDOWS_REGISTRATION_H_

#include "windows/win32.h"

namespace dudUdudADOD::windows {

enum class Scope { kMachine, kUser };

HRESULT Register(HMODULE module, Scope scope) noexcept;
HRESULT Unregister(HMODULE module, Scope scope) noexcept;

}  // namespace dudUdudADOD::windows

#endif  // DUD_WINDOWS_REGISTRATION_H_
