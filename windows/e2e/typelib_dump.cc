// Prints what a client's tools read from the DLL: its embedded type library
// (names, DISPIDs, flags, parameters, enumeration values) and its version
// resource. run_e2e.sh compares the output with typelib.golden.
//   typelib_dump.exe PATH-OF-DLL
#include <cstdio>
#include <string>
#include <vector>

#include "windows/win32.h"

namespace {

std::string Narrow(const wchar_t* text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) out += text[i] < 128 ? static_cast<char>(text[i]) : '?';
  return out;
}
std::string Narrow(BSTR text) { return text ? Narrow(text, SysStringLen(text)) : ""; }

void DumpType(ITypeInfo* info) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return;
  BSTR name = nullptr;
  info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
  std::printf("type %s kind %d flags 0x%X functions %u variables %u\n", Narrow(name).c_str(),
              attr->typekind, attr->wTypeFlags, attr->cFuncs, attr->cVars);
  SysFreeString(name);
  for (UINT i = 0; i < attr->cVars; ++i) {
    VARDESC* var = nullptr;
    if (FAILED(info->GetVarDesc(i, &var))) continue;
    BSTR var_name = nullptr;
    info->GetDocumentation(var->memid, &var_name, nullptr, nullptr, nullptr);
    long value = var->varkind == VAR_CONST ? var->lpvarValue->lVal : 0;
    std::printf("  %s = %ld\n", Narrow(var_name).c_str(), value);
    SysFreeString(var_name);
    info->ReleaseVarDesc(var);
  }
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* func = nullptr;
    if (FAILED(info->GetFuncDesc(i, &func))) continue;
    BSTR names[8] = {};
    UINT count = 0;
    info->GetNames(func->memid, names, 8, &count);
    std::printf("  function %s dispid %ld invkind %d funckind %d params %d optional %d\n",
                Narrow(names[0]).c_str(), static_cast<long>(func->memid), func->invkind,
                func->funckind, func->cParams, func->cParamsOpt);
    for (SHORT p = 0; p < func->cParams; ++p) {
      const ELEMDESC& e = func->lprgelemdescParam[p];
      std::printf("    %s vt %d flags 0x%X\n",
                  static_cast<UINT>(p + 1) < count ? Narrow(names[p + 1]).c_str() : "?",
                  e.tdesc.vt == VT_PTR ? VT_BYREF | e.tdesc.lptdesc->vt : e.tdesc.vt,
                  e.paramdesc.wParamFlags);
    }
    for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
    info->ReleaseFuncDesc(func);
  }
  info->ReleaseTypeAttr(attr);
}

void DumpVersion(const wchar_t* path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  std::vector<uint8_t> block(size);
  if (size == 0 || !GetFileVersionInfoW(path, 0, size, block.data())) {
    std::printf("no version resource\n");
    return;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
    std::printf("file version %u.%u.%u.%u product version %u.%u.%u.%u file type %lu\n",
                HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS),
                HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
                HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS),
                static_cast<unsigned long>(fixed->dwFileType));
  }
  for (const wchar_t* key :
       {L"Comments", L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
        L"OLESelfRegister", L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
    const std::wstring query = std::wstring(L"\\StringFileInfo\\041004B0\\") + key;
    wchar_t* value = nullptr;
    if (VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) {
      std::printf("  %s: \"%s\"\n", Narrow(key, wcslen(key)).c_str(),
                  Narrow(value, length > 0 ? length - 1 : 0).c_str());
    } else {
      std::printf("  %s: missing\n", Narrow(key, wcslen(key)).c_str());
    }
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  ITypeLib* library = nullptr;
  if (FAILED(LoadTypeLibEx(argv[1], REGKIND_NONE, &library))) {
    std::printf("no type library\n");
    return 1;
  }
  TLIBATTR* attr = nullptr;
  library->GetLibAttr(&attr);
  BSTR name = nullptr;
  library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr);
  std::printf("library %s version %u.%u lcid 0x%04lX\n", Narrow(name).c_str(), attr->wMajorVerNum,
              attr->wMinorVerNum, static_cast<unsigned long>(attr->lcid));
  SysFreeString(name);
  library->ReleaseTLibAttr(attr);
  for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
    ITypeInfo* info = nullptr;
    if (FAILED(library->GetTypeInfo(i, &info))) continue;
    DumpType(info);
    // A dual interface: its vtable side too.
    HREFTYPE ref = 0;
    ITypeInfo* vtable = nullptr;
    if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) &&
        SUCCEEDED(info->GetRefTypeInfo(ref, &vtable))) {
      std::printf(" as interface:\n");
      DumpType(vtable);
      vtable->Release();
    }
    info->Release();
  }
  library->Release();
  DumpVersion(argv[1]);
  return 0;
}
