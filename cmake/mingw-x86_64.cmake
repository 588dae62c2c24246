# 64-bit Windows (x86-64), for 64-bit hosts.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELMO_MINGW_PREFIX x86_64-w64-mingw32)
set(VELMO_RC_TARGET pe-x86-64)
set(VELMO_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
