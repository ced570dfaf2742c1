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
void AddObject() { ++g_objects; }
void ReleaseObject() { --g_objects; }
void Lock() { ++g_locks; }
void Unlock() { --g_locks; }
bool CanUnload() { return g_objects == 0 && g_locks == 0; }

}  // namespace dudUdudADOD::windows
