// The DLL's entry point and its four exports, the standard entry points of
// an in-process Automation server. dudUdudADOD.def exports them undecorated
// and nothing else.
// clang-format off
#include "windows/win32.h"
#include <initguid.h>  // the type library's GUIDs are defined here, once
// clang-format on

#include "windows/boundary.h"
#include "windows/class_factory.h"
#include "windows/registration.h"
#include "windows/server_module.h"
#include "windows/type_library.h"
#include "windows/unwind_tables.h"

using dudUdudADOD::windows::CatchAll;
using dudUdudADOD::windows::ClassFactory;

// At attach, after the start-up code: the DLL's unwind tables go where its
// own unwinder finds them (unwind_tables.h), and the DLL is pinned for the
// rest of the process (server_module.h). Pinned here rather than at the
// first object: any entry point may be the first to use the static runtime
// that takes the slot, and a pinned DLL is never torn down under a thread
// of its own still running. A DLL that could not be pinned and is freed
// takes back its registration; at process exit nothing is undone.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    dudUdudADOD::windows::SetServerModule(instance);
    DisableThreadLibraryCalls(instance);
    dudUdudADOD::windows::RegisterUnwindTables(instance);
    dudUdudADOD::windows::PinServerModule();
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    dudUdudADOD::windows::UnregisterUnwindTables();
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_RavoDUZE)) return CLASS_E_CLASSNOTAVAILABLE;
  return CatchAll([&] {
    auto* factory = new (std::nothrow) ClassFactory();
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(iid, out);
    factory->Release();
    return hr;
  });
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return dudUdudADOD::windows::CanUnload() ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  return dudUdudADOD::windows::Register(dudUdudADOD::windows::ServerModule());
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return dudUdudADOD::windows::Unregister();
}
