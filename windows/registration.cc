#include "windows/registration.h"

#include <string>

#include "windows/boundary.h"
#include "windows/type_library.h"

namespace dudUdudADOD::windows {

namespace {

constexpr wchar_t kProgId[] = L"dudUdudADOD.RavoDUZE.1";
constexpr wchar_t kIndependentProgId[] = L"dudUdudADOD.RavoDUZE";
constexpr wchar_t kClassName[] = L"RavoDUZE";
constexpr WORD kLibraryMajor = 9;
constexpr WORD kLibraryMinor = 0;
constexpr LCID kLibraryLocale = 0x0409;

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40];
  return StringFromGUID2(guid, text, 40) > 0 ? std::wstring(text) : std::wstring();
}

// Sets `name` (nullptr: the default value) of HKCR\key to `value`.
bool SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &handle, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  const LSTATUS status =
      RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
  RegCloseKey(handle);
  return status == ERROR_SUCCESS;
}

void DeleteTree(const std::wstring& key) { RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str()); }
// Removes HKCR\key when nothing is left in it.
void DeleteIfEmpty(const std::wstring& key) { RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str()); }

// Register's work; may throw std::bad_alloc. Leaves what it wrote on failure.
HRESULT WriteRegistration(HMODULE module) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return SELFREG_E_CLASS;
  const std::wstring clsid = GuidText(CLSID_RavoDUZE);
  const std::wstring libid = GuidText(LIBID_dudUdudADOD);
  const std::wstring class_key = L"CLSID\\" + clsid;
  const bool written =
      SetValue(class_key, nullptr, kClassName) &&
      SetValue(class_key + L"\\InprocServer32", nullptr, path) &&
      SetValue(class_key + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
      SetValue(class_key + L"\\ProgID", nullptr, kProgId) &&
      SetValue(class_key + L"\\VersionIndependentProgID", nullptr, kIndependentProgId) &&
      SetValue(class_key + L"\\TypeLib", nullptr, libid) &&
      SetValue(class_key + L"\\Version", nullptr, L"9.0") &&
      SetValue(class_key + L"\\Programmable", nullptr, L"") &&
      SetValue(kProgId, nullptr, kClassName) &&
      SetValue(std::wstring(kProgId) + L"\\CLSID", nullptr, clsid) &&
      SetValue(kIndependentProgId, nullptr, kClassName) &&
      SetValue(std::wstring(kIndependentProgId) + L"\\CLSID", nullptr, clsid) &&
      SetValue(std::wstring(kIndependentProgId) + L"\\CurVer", nullptr, kProgId);
  if (!written) return SELFREG_E_CLASS;
  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &library);
  if (SUCCEEDED(hr)) {
    hr = RegisterTypeLib(library, path, nullptr);
    library->Release();
  }
  return FAILED(hr) ? SELFREG_E_TYPELIB : S_OK;
}

// Unregister's work; may throw std::bad_alloc.
HRESULT RemoveRegistration() {
  // The library was registered for the width the DLL is built for.
  const SYSKIND kind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
  UnRegisterTypeLib(LIBID_dudUdudADOD, kLibraryMajor, kLibraryMinor, kLibraryLocale, kind);
  // What the type library's registration may leave: the interface's key and
  // an emptied library key.
  DeleteTree(L"Interface\\" + GuidText(IID__RavoDUZE));
  DeleteIfEmpty(L"TypeLib\\" + GuidText(LIBID_dudUdudADOD));
  DeleteTree(L"CLSID\\" + GuidText(CLSID_RavoDUZE));
  DeleteTree(kProgId);
  DeleteTree(kIndependentProgId);
  return S_OK;
}

}  // namespace

HRESULT Register(HMODULE module) noexcept {
  const HRESULT hr = CatchAll([&] { return WriteRegistration(module); });
  if (FAILED(hr)) Unregister();
  return hr;
}

HRESULT Unregister() noexcept { return CatchAll(RemoveRegistration); }

}  // namespace dudUdudADOD::windows
