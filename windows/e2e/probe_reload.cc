// A host that loads the DLL, uses it and unloads it again, over and over, as
// a script host or an add-in manager may: each cycle loads it, creates an
// object through DllGetClassObject, makes a call that raises a run-time
// error, releases everything, asks DllCanUnloadNow and frees the library.
//   probe_reload.exe PATH-OF-DLL [CYCLES]
// CYCLES defaults to 2000, more than the process's thread-local storage
// slots (1088), so a cycle that costs the process anything for good runs out
// of it. Ends with "probe_reload: 2000 cycles" (the count run) when every
// cycle came back as it should.
#include <cstdio>
#include <cwchar>

// clang-format off
#include "windows/win32.h"
#include <initguid.h>
#include "windows/type_library.h"
// clang-format on

namespace {

constexpr HRESULT kInvalidUseOfNull = static_cast<HRESULT>(0x800A005E);  // error 94

using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();

template <typename F>
F Export(HMODULE dll, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

// One cycle; prints what went wrong and returns false when something did.
bool Cycle(const wchar_t* path, int cycle) {
  HMODULE dll = LoadLibraryW(path);
  if (dll == nullptr) {
    std::printf("FAIL cycle %d: LoadLibrary, error %lu\n", cycle, GetLastError());
    return false;
  }
  auto get = Export<GetClassObject>(dll, "DllGetClassObject");
  auto can_unload = Export<CanUnloadNow>(dll, "DllCanUnloadNow");
  IClassFactory* factory = nullptr;
  _RavoDUZE* object = nullptr;
  HRESULT hr = get(CLSID_RavoDUZE, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (SUCCEEDED(hr)) {
    hr = factory->CreateInstance(nullptr, IID__RavoDUZE, reinterpret_cast<void**>(&object));
    factory->Release();
  }
  if (FAILED(hr)) {
    std::printf("FAIL cycle %d: no object, 0x%08lX\n", cycle, static_cast<unsigned long>(hr));
    return false;
  }
  VARIANT null_arg;
  VariantInit(&null_arg);
  null_arg.vt = VT_NULL;
  BSTR text = nullptr;
  hr = object->RavoDUZE(&null_arg, nullptr, nullptr, nullptr, nullptr, &text);
  SysFreeString(text);
  object->Release();
  const HRESULT unload = can_unload();
  FreeLibrary(dll);
  if (hr != kInvalidUseOfNull || unload != S_OK) {
    std::printf("FAIL cycle %d: the call gave 0x%08lX, DllCanUnloadNow 0x%08lX\n", cycle,
                static_cast<unsigned long>(hr), static_cast<unsigned long>(unload));
    return false;
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || argc > 3) {
    std::printf("usage: probe_reload PATH-OF-DLL [CYCLES]\n");
    return 2;
  }
  const int cycles = argc == 3 ? static_cast<int>(std::wcstol(argv[2], nullptr, 10)) : 2000;
  if (FAILED(CoInitialize(nullptr))) return 1;
  for (int cycle = 1; cycle <= cycles; ++cycle) {
    if (!Cycle(argv[1], cycle)) return 1;
    if (cycle % 500 == 0) {
      std::printf("%d cycles\n", cycle);
      std::fflush(stdout);
    }
  }
  CoUninitialize();
  std::printf("probe_reload: %d cycles\n", cycles);
  return 0;
}
