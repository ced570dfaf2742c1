// The DLL's C++ unwind tables, registered with the unwinder the DLL links.
//
// The 32-bit build unwinds C++ exceptions through the DWARF tables of its
// .eh_frame section with the unwinder of the libgcc it links statically, and
// every run-time error is such an exception, caught at the COM boundary.
// The start-up code (crtbegin) registers the tables at load, but with
// libgcc_s_dw2-1.dll instead when the process already holds that DLL, as it
// does once any MinGW-built add-in is loaded. The DLL's own unwinder then
// knows none of its frames, and its first exception ends in std::terminate:
// the host dies with all its unsaved work.
//
// RegisterUnwindTables, called at process attach (after the start-up code),
// asks the linked unwinder for the frame of one of the DLL's functions; when
// it knows none, it registers the module's whole .eh_frame section with it.
// UnregisterUnwindTables takes back what RegisterUnwindTables registered and
// nothing else, for a DLL that is freed. Neither throws. In the 64-bit build
// both do nothing: it unwinds through the tables the system reads (.pdata).
#ifndef DUD_WINDOWS_UNWIND_TABLES_H_
#define DUD_WINDOWS_UNWIND_TABLES_H_

#include "windows/win32.h"

namespace dudUdudADOD::windows {

// True when the linked unwinder knows the DLL's frames afterwards.
bool RegisterUnwindTables(HMODULE module) noexcept;
void UnregisterUnwindTables() noexcept;

}  // namespace dudUdudADOD::windows

#endif  // DUD_WINDOWS_UNWIND_TABLES_H_
