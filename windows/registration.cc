#include "windows/registration.h"

#include <string>
#include <utility>
#include <vector>

#include "windows/boundary.h"
#include "windows/registry_transaction.h"
#include "windows/type_library.h"

namespace dudUdudADOD::windows {

namespace {

constexpr wchar_t kProgId[] = L"dudUdudADOD.RavoDUZE.1";
constexpr wchar_t kIndependentProgId[] = L"dudUdudADOD.RavoDUZE";
constexpr wchar_t kClasses[] = L"Software\\Classes\\";
// The marshaller of Automation interfaces, in oleaut32.
constexpr wchar_t kAutomationMarshaller[] = L"{00020424-0000-0000-C000-000000000046}";

// What the type library says of itself, in the registry's own forms.
struct LibraryFacts {
  std::wstring guid;
  std::wstring version;   // "9.0": major and minor in hexadecimal
  std::wstring locale;    // "409": the LCID in hexadecimal
  std::wstring platform;  // "win32" or "win64"
  std::wstring flags;     // the library's flags, in decimal
  std::wstring help;
  std::wstring class_name;
  std::vector<std::pair<std::wstring, std::wstring>> interfaces;  // IID, name
};

struct Entry {
  std::wstring key;  // under Software\Classes
  std::wstring name;
  std::wstring value;
  bool key_only = false;  // the key alone, no value
};

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40];
  return StringFromGUID2(guid, text, 40) > 0 ? std::wstring(text) : std::wstring();
}

std::wstring Hex(unsigned long value) {
  wchar_t text[12];
  swprintf(text, 12, L"%lx", value);
  return text;
}

HKEY RootOf(Scope scope) { return scope == Scope::kUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

// The view this DLL is not registered in: the 32-bit one for a 64-bit DLL.
// On a 32-bit system the flag is ignored and names the only view there is.
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
constexpr REGSAM kBothViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

// The DLL's full path, however long.
std::wstring ModulePath(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return path.substr(0, length);
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

std::wstring TakeString(BSTR text) {
  std::wstring result = text != nullptr ? std::wstring(text, SysStringLen(text)) : L"";
  SysFreeString(text);
  return result;
}

void ReadTypes(ITypeLib* library, LibraryFacts* facts) {
  const UINT count = library->GetTypeInfoCount();
  for (UINT i = 0; i < count; ++i) {
    ITypeInfo* info = nullptr;
    if (FAILED(library->GetTypeInfo(i, &info))) continue;
    TYPEATTR* attributes = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
      BSTR name = nullptr;
      library->GetDocumentation(static_cast<INT>(i), &name, nullptr, nullptr, nullptr);
      const bool automation =
          attributes->typekind == TKIND_DISPATCH ||
          (attributes->typekind == TKIND_INTERFACE &&
           (attributes->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION)) != 0);
      if (automation) {
        facts->interfaces.emplace_back(GuidText(attributes->guid), TakeString(name));
      } else if (attributes->typekind == TKIND_COCLASS &&
                 IsEqualGUID(attributes->guid, CLSID_RavoDUZE)) {
        facts->class_name = TakeString(name);
      } else {
        SysFreeString(name);
      }
      info->ReleaseTypeAttr(attributes);
    }
    info->Release();
  }
}

// Reads the type library embedded in the DLL at `path`.
HRESULT ReadLibrary(const std::wstring& path, LibraryFacts* facts) {
  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
  if (FAILED(hr)) return hr;
  TLIBATTR* attributes = nullptr;
  hr = library->GetLibAttr(&attributes);
  if (SUCCEEDED(hr)) {
    facts->guid = GuidText(attributes->guid);
    facts->version = Hex(attributes->wMajorVerNum) + L"." + Hex(attributes->wMinorVerNum);
    facts->locale = Hex(attributes->lcid);
    facts->platform = attributes->syskind == SYS_WIN64 ? L"win64" : L"win32";
    // Whether the library sits in a file is the runtime's to know, not a
    // flag of the library's.
    facts->flags = std::to_wstring(attributes->wLibFlags & ~LIBFLAG_FHASDISKIMAGE);
    library->ReleaseTLibAttr(attributes);
    BSTR help = nullptr;
    library->GetDocumentation(-1, nullptr, &help, nullptr, nullptr);
    facts->help = TakeString(help);
    ReadTypes(library, facts);
  }
  library->Release();
  return hr;
}

std::vector<Entry> EntriesFor(const LibraryFacts& facts, const std::wstring& path) {
  const std::wstring clsid = GuidText(CLSID_RavoDUZE);
  const std::wstring class_key = L"CLSID\\" + clsid;
  const std::wstring library_key = L"TypeLib\\" + facts.guid + L"\\" + facts.version;
  std::vector<Entry> entries = {
      {class_key, L"", facts.class_name},
      {class_key + L"\\InprocServer32", L"", path},
      {class_key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {class_key + L"\\ProgID", L"", kProgId},
      {class_key + L"\\VersionIndependentProgID", L"", kIndependentProgId},
      {class_key + L"\\TypeLib", L"", facts.guid},
      {class_key + L"\\Version", L"", facts.version},
      {class_key + L"\\Programmable", L"", L"", true},
      {kProgId, L"", facts.class_name},
      {std::wstring(kProgId) + L"\\CLSID", L"", clsid},
      {kIndependentProgId, L"", facts.class_name},
      {std::wstring(kIndependentProgId) + L"\\CLSID", L"", clsid},
      {std::wstring(kIndependentProgId) + L"\\CurVer", L"", kProgId},
      {library_key, L"", facts.help},
      {library_key + L"\\FLAGS", L"", facts.flags},
      {library_key + L"\\" + facts.locale + L"\\" + facts.platform, L"", path},
  };
  for (const auto& [iid, name] : facts.interfaces) {
    const std::wstring key = L"Interface\\" + iid;
    entries.push_back({key, L"", name});
    entries.push_back({key + L"\\ProxyStubClsid", L"", kAutomationMarshaller});
    entries.push_back({key + L"\\ProxyStubClsid32", L"", kAutomationMarshaller});
    entries.push_back({key + L"\\TypeLib", L"", facts.guid});
    entries.push_back({key + L"\\TypeLib", L"Version", facts.version});
  }
  return entries;
}

// Register's work; may throw std::bad_alloc. Writes all or nothing.
HRESULT WriteRegistration(HMODULE module, Scope scope) {
  const std::wstring path = ModulePath(module);
  if (path.empty()) return SELFREG_E_CLASS;
  LibraryFacts facts;
  if (FAILED(ReadLibrary(path, &facts))) return SELFREG_E_TYPELIB;
  RegistryTransaction transaction(RootOf(scope), 0);
  for (const Entry& entry : EntriesFor(facts, path)) {
    const std::wstring key = kClasses + entry.key;
    const bool written =
        entry.key_only ? transaction.Make(key) : transaction.Set(key, entry.name, entry.value);
    if (!written) return SELFREG_E_CLASS;
  }
  transaction.Commit();
  return S_OK;
}

// Deletes `key` in both views, and its parent `parent` where that is left
// empty.
void DeleteEverywhere(HKEY root, const std::wstring& key) {
  for (REGSAM view : kBothViews) DeleteRegistryTree(root, view, kClasses + key);
}

void DeleteIfEmpty(HKEY root, REGSAM view, const std::wstring& key) {
  if (RegistryKeyIsEmpty(root, view, kClasses + key)) {
    DeleteRegistryTree(root, view, kClasses + key);
  }
}

// Removes what only the last registration in either view may remove.
void RemoveSharedKeys(HKEY root, const LibraryFacts& facts) {
  const std::wstring clsid = GuidText(CLSID_RavoDUZE);
  for (const auto& iid_and_name : facts.interfaces) {
    DeleteEverywhere(root, L"Interface\\" + iid_and_name.first);
  }
  if (!facts.guid.empty()) {
    DeleteEverywhere(root, L"TypeLib\\" + facts.guid + L"\\" + facts.version);
    for (REGSAM view : kBothViews) DeleteIfEmpty(root, view, L"TypeLib\\" + facts.guid);
  }
  for (const std::wstring prog_id : {kProgId, kIndependentProgId}) {
    for (REGSAM view : kBothViews) {
      if (RegistryDefaultValue(root, view, kClasses + prog_id + L"\\CLSID") == clsid) {
        DeleteRegistryTree(root, view, kClasses + prog_id);
      }
    }
  }
}

// Unregister's work; may throw std::bad_alloc.
HRESULT RemoveRegistration(HMODULE module, Scope scope) {
  const HKEY root = RootOf(scope);
  LibraryFacts facts;
  // Without its library the DLL still knows its class, and removes that.
  const HRESULT library = ReadLibrary(ModulePath(module), &facts);
  const std::wstring class_key = L"CLSID\\" + GuidText(CLSID_RavoDUZE);
  DeleteRegistryTree(root, 0, kClasses + class_key);
  if (SUCCEEDED(library)) {
    const std::wstring locale_key =
        L"TypeLib\\" + facts.guid + L"\\" + facts.version + L"\\" + facts.locale;
    DeleteRegistryTree(root, 0, kClasses + locale_key + L"\\" + facts.platform);
    DeleteIfEmpty(root, 0, locale_key);
  }
  if (!RegistryKeyExists(root, kOtherView, kClasses + class_key + L"\\InprocServer32")) {
    RemoveSharedKeys(root, facts);
  }
  return SUCCEEDED(library) ? S_OK : SELFREG_E_TYPELIB;
}

}  // namespace

HRESULT Register(HMODULE module, Scope scope) noexcept {
  return CatchAll([&] { return WriteRegistration(module, scope); });
}

HRESULT Unregister(HMODULE module, Scope scope) noexcept {
  return CatchAll([&] { return RemoveRegistration(module, scope); });
}

}  // namespace dudUdudADOD::windows
