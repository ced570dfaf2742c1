#include "windows/server_module.h"

#include <atomic>

namespace dudUdudADOD::windows {

namespace {
HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
}  // namespace

HMODULE ServerModule() { return g_module; }
void SetServerModule(HMODULE module) { g_module = module; }

bool PinServerModule() {
  HMODULE pinned = nullptr;
  return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(g_module), &pinned) != FALSE;
}
void AddObject() { ++g_objects; }
void ReleaseObject() { --g_objects; }
void Lock() { ++g_locks; }
void Unlock() { --g_locks; }
bool CanUnload() { return g_objects == 0 && g_locks == 0; }

}  // namespace dudUdudADOD::windows
