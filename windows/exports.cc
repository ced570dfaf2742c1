// The DLL's entry point and its five exports, the standard entry points of
// an in-process Automation server. dudUdudADOD.def exports them undecorated
// and nothing else.
// clang-format off
#include "windows/win32.h"
#include <initguid.h>  // the type library's GUIDs are defined here, once
// clang-format on

#include <string>

#include "windows/boundary.h"
#include "windows/class_factory.h"
#include "windows/guarded_copy.h"
#include "windows/registration.h"
#include "windows/server_module.h"
#include "windows/type_library.h"
#include "windows/unwind_tables.h"

using dudUdudADOD::windows::CatchAll;
using dudUdudADOD::windows::ClassFactory;
using dudUdudADOD::windows::Scope;

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
  return dudUdudADOD::windows::Register(dudUdudADOD::windows::ServerModule(), Scope::kMachine);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return dudUdudADOD::windows::Unregister(dudUdudADOD::windows::ServerModule(), Scope::kMachine);
}

namespace {

// The scope DllInstall's command line names: "user" (in any case, blanks
// around it allowed) for the current user, an empty or missing line for the
// machine. regsvr32 /i without /n calls DllRegisterServer first and then
// DllInstall with an empty line, which registers the machine's keys again
// and changes nothing. The line is the host's pointer: it is read through
// guarded copies, one character at a time, so that a wild pointer or an
// unterminated line is a refusal rather than a fault. False for any other
// word: a scope this DLL does not know is a mistake to report, not one to
// guess at.
bool ScopeOf(PCWSTR line, Scope* scope) {
  *scope = Scope::kMachine;
  if (line == nullptr) return true;
  dudUdudADOD::windows::FaultHandlerScope guard;
  if (!guard.active()) return false;
  std::wstring text;
  for (size_t i = 0;; ++i) {
    wchar_t c = 0;
    if (i == 64 || !dudUdudADOD::windows::GuardedCopy(&c, line + i, sizeof c)) return false;
    if (c == L'\0') break;
    text += static_cast<wchar_t>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c);
  }
  const size_t first = text.find_first_not_of(L" \t");
  const std::wstring word = first == std::wstring::npos
                                ? L""
                                : text.substr(first, text.find_last_not_of(L" \t") + 1 - first);
  if (word == L"user") *scope = Scope::kUser;
  return word.empty() || word == L"user";
}

}  // namespace

// regsvr32 /n /i:user registers for the current user only, needing no
// administrator rights; regsvr32 /u /n /i:user removes that again.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, PCWSTR line) {
  Scope scope;
  if (CatchAll([&] { return ScopeOf(line, &scope) ? S_OK : E_INVALIDARG; }) != S_OK) {
    return E_INVALIDARG;
  }
  const HMODULE module = dudUdudADOD::windows::ServerModule();
  return install ? dudUdudADOD::windows::Register(module, scope)
                 : dudUdudADOD::windows::Unregister(module, scope);
}
