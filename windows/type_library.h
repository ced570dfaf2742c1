// The C++ declarations that widl makes from dudUdudADOD.idl: the interface
// _RavoDUZE and the GUIDs of the library, the interface and the class.
// Include this, never the generated header, so that the Windows API comes in
// through win32.h first.
#ifndef DUD_WINDOWS_TYPE_LIBRARY_H_
#define DUD_WINDOWS_TYPE_LIBRARY_H_

// clang-format off
#include "windows/win32.h"
#include "windows/dudUdudADOD_h.h"
// clang-format on

#endif  // DUD_WINDOWS_TYPE_LIBRARY_H_
