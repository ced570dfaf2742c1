// The Windows API, as every file of windows/ includes it.
//
// The automation headers name a few things as the platform does (the FADF_
// flags; the model's RtlMoveMemory) and the report's interface has a
// MoveMemory; the API defines those names as macros. So those headers come
// first, where their declarations stand as written, then the API, and then
// its macros of those names are dropped. Include this before any other Windows header.
#ifndef DUD_WINDOWS_WIN32_H_
#define DUD_WINDOWS_WIN32_H_

// clang-format off
#include "automation/client_process.h"
#include "automation/safe_array.h"

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>
// clang-format on

#undef MoveMemory
#undef RtlMoveMemory
#undef FADF_HAVEVARTYPE
#undef FADF_BSTR
#undef FADF_UNKNOWN
#undef FADF_DISPATCH
#undef FADF_VARIANT

#endif  // DUD_WINDOWS_WIN32_H_
