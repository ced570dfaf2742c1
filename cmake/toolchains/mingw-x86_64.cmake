# 64-bit Windows (x86_64), with the settings every mingw-w64 build shares.
set(DUD_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
