# 32-bit Windows (i686), for 32-bit hosts.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VELMO_MINGW_PREFIX i686-w64-mingw32)
set(VELMO_RC_TARGET pe-i386)
set(VELMO_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
