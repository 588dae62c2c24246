# Cross-compiles for 32-bit Windows with mingw-w64. The -posix compilers give std::mutex, which
# GoogleTest needs; everything links statically so the binaries need no runtime DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(VELMO_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${VELMO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMO_MINGW_PREFIX}-g++-posix)
# LLVM's windres keeps the case of custom control class names ("msctls_trackbar32") in dialog
# templates, where GNU windres upper-cases them. It preprocesses with clang, so it is told where the
# mingw-w64 headers are.
set(CMAKE_RC_COMPILER llvm-windres-14)
set(CMAKE_RC_FLAGS_INIT "--target=pe-i386 -I/usr/share/mingw-w64/include")

set(CMAKE_FIND_ROOT_PATH /usr/${VELMO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Windows programs built here run under 32-bit Wine, in their own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
