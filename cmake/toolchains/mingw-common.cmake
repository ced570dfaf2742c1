# Cross-compiling for Windows with Debian's mingw-w64 (the posix-thread
# variant, which C++ threads and GoogleTest need), for the processor that the
# including toolchain file names in DUD_MINGW_ARCH (i686 or x86_64).
# Programs and the DLL link the compiler's runtime statically, so they import
# only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${DUD_MINGW_ARCH})

set(CMAKE_C_COMPILER ${DUD_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${DUD_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${DUD_MINGW_ARCH}-w64-mingw32-windres)
set(DUD_WIDL ${DUD_MINGW_ARCH}-w64-mingw32-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${DUD_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
