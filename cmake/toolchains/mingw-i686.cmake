# 32-bit Windows (i686), with the settings every mingw-w64 build shares.
set(DUD_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
