// LoadComponent: the component's object made straight from its DLL by path,
// as a host that bypasses the registry makes it: LoadLibrary, then
// DllGetClassObject and IClassFactory::CreateInstance for `iid`.
//
// Used by the probe hosts and the backend benchmark; nullptr when any step
// fails. The DLL stays loaded.
#ifndef DUD_WINDOWS_E2E_LOAD_COMPONENT_H_
#define DUD_WINDOWS_E2E_LOAD_COMPONENT_H_

#include "windows/type_library.h"

namespace dudUdudADOD::windows {

template <typename Interface>
Interface* LoadComponent(const wchar_t* path, REFIID iid) {
  HMODULE dll = LoadLibraryW(path);
  if (dll == nullptr) return nullptr;
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto get = reinterpret_cast<GetClassObject>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  IClassFactory* factory = nullptr;
  if (get == nullptr ||
      FAILED(get(CLSID_RavoDUZE, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    return nullptr;
  }
  Interface* object = nullptr;
  const HRESULT hr = factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object));
  factory->Release();
  return SUCCEEDED(hr) ? object : nullptr;
}

}  // namespace dudUdudADOD::windows

#endif  // DUD_WINDOWS_E2E_LOAD_COMPONENT_H_
