// A host that has a MinGW-built add-in loaded before it loads the DLL: the
// shared libgcc of that add-in (libgcc_s_dw2-1.dll for 32-bit programs,
// libgcc_s_seh-1.dll for 64-bit ones, copied beside this program) is in the
// process first. The DLL's start-up code then sees a libgcc already there;
// the DLL must still catch its own run-time errors at its COM boundary.
//   probe_libgcc.exe PATH-OF-DLL
// Creates the object through DllGetClassObject (no registration needed),
// makes calls that raise run-time errors and calls that succeed, and prints
// each outcome. Ends with "probe_libgcc: the host survived" when every call
// came back as it should; a fault in the DLL ends the process before that.
#include <cstdio>

// clang-format off
#include "windows/win32.h"
#include <initguid.h>
#include "windows/type_library.h"
// clang-format on

namespace {

#ifdef _WIN64
constexpr wchar_t kSharedLibgcc[] = L"libgcc_s_seh-1.dll";
#else
constexpr wchar_t kSharedLibgcc[] = L"libgcc_s_dw2-1.dll";
#endif
constexpr HRESULT kInvalidUseOfNull = static_cast<HRESULT>(0x800A005E);  // error 94

using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

int failures = 0;

void Expect(bool ok, const char* what, HRESULT hr) {
  std::printf("%s %s: 0x%08lX\n", ok ? "ok  " : "FAIL", what, static_cast<unsigned long>(hr));
  if (!ok) ++failures;
}

// The object, made by the DLL's own class factory; null on failure.
_RavoDUZE* CreateObject(HMODULE dll) {
  auto get = reinterpret_cast<GetClassObject>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  if (get == nullptr) return nullptr;
  IClassFactory* factory = nullptr;
  if (FAILED(get(CLSID_RavoDUZE, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    return nullptr;
  }
  _RavoDUZE* object = nullptr;
  factory->CreateInstance(nullptr, IID__RavoDUZE, reinterpret_cast<void**>(&object));
  factory->Release();
  return object;
}

// The main call with a Null through IDispatch::Invoke: error 94 as EXCEPINFO.
void InvokeWithNull(_RavoDUZE* object) {
  VARIANTARG null_arg;
  VariantInit(&null_arg);
  null_arg.vt = VT_NULL;
  DISPPARAMS params = {&null_arg, nullptr, 1, 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO info = {};
  UINT bad = 0;
  const HRESULT hr = object->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                    &result, &info, &bad);
  Expect(hr == DISP_E_EXCEPTION, "Invoke with Null returns DISP_E_EXCEPTION", hr);
  Expect(info.scode == kInvalidUseOfNull, "its scode is error 94", info.scode);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  VariantClear(&result);
}

void CallMethods(_RavoDUZE* object) {
  VARIANT null_arg;
  VariantInit(&null_arg);
  null_arg.vt = VT_NULL;
  BSTR text = nullptr;
  HRESULT hr = object->RavoDUZE(&null_arg, nullptr, nullptr, nullptr, nullptr, &text);
  Expect(hr == kInvalidUseOfNull, "the method with Null returns error 94", hr);
  SysFreeString(text);
  text = nullptr;
  hr = object->HELP(&text);
  Expect(SUCCEEDED(hr) && SysStringLen(text) > 0, "HELP", hr);
  SysFreeString(text);
  text = nullptr;
  hr = object->About(&text);
  Expect(SUCCEEDED(hr) && SysStringLen(text) > 0, "About", hr);
  SysFreeString(text);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::printf("usage: probe_libgcc PATH-OF-DLL\n");
    return 2;
  }
  if (LoadLibraryW(kSharedLibgcc) == nullptr) {
    std::printf("FAIL the shared libgcc is not beside the probe\n");
    return 1;
  }
  std::printf("shared libgcc loaded first\n");
  if (FAILED(CoInitialize(nullptr))) return 1;
  HMODULE dll = LoadLibraryW(argv[1]);
  _RavoDUZE* object = dll != nullptr ? CreateObject(dll) : nullptr;
  if (object == nullptr) {
    std::printf("FAIL the DLL gave no object\n");
    return 1;
  }
  for (int round = 0; round < 3; ++round) {  // the first error and those after it
    InvokeWithNull(object);
    CallMethods(object);
  }
  object->Release();
  CoUninitialize();
  if (failures != 0) return 1;
  std::printf("probe_libgcc: the host survived\n");
  return 0;
}
