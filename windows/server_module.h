// The DLL's own state: its module handle and the counts that tell
// DllCanUnloadNow whether anything of it is still in use.
//
// Used by the exports, the class factory and the COM object. The counts are
// atomic: objects of different apartments may come and go on their threads.
#ifndef DUD_WINDOWS_SERVER_MODULE_H_
#define DUD_WINDOWS_SERVER_MODULE_H_

#include "windows/win32.h"

namespace dudUdudADOD::windows {

// The DLL's module handle, set when the process attaches it.
HMODULE ServerModule();
void SetServerModule(HMODULE module);

// Keeps the DLL in the process until the process ends, whatever FreeLibrary
// calls follow: its static runtime takes a thread-local storage slot on
// first use and never gives it back, so a DLL unloaded and loaded again
// costs its host a slot each time, and a host runs out after about a
// thousand. Returns false when the loader refused.
bool PinServerModule();

// Live objects (instances and class factories handed out) and
// IClassFactory::LockServer locks.
void AddObject();
void ReleaseObject();
void Lock();
void Unlock();
// True when no object lives and no lock is held.
bool CanUnload();

}  // namespace dudUdudADOD::windows

#endif  // DUD_WINDOWS_SERVER_MODULE_H_
