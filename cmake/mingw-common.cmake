# The part of the mingw-w64 toolchains that both Windows architectures share. The including file sets
# VELMO_MINGW_PREFIX (the compiler triplet), VELMO_RC_TARGET (LLVM windres's --target) and
# VELMO_WINE_ARCH (the Wine prefix the programs run in).
set(CMAKE_SYSTEM_NAME Windows)

# The -posix compilers give std::mutex, which GoogleTest needs; everything links statically so the
# binaries need no runtime DLLs beside them.
set(CMAKE_C_COMPILER ${VELMO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMO_MINGW_PREFIX}-g++-posix)

# LLVM's windres keeps the case of custom control class names ("msctls_trackbar32") in dialog
# templates, where GNU windres upper-cases them. It preprocesses with clang, so it is told where the
# mingw-w64 headers are.
set(CMAKE_RC_COMPILER llvm-windres-14)
set(CMAKE_RC_FLAGS_INIT "--target=${VELMO_RC_TARGET} -I/usr/share/mingw-w64/include")

set(CMAKE_FIND_ROOT_PATH /usr/${VELMO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Windows programs built here run under Wine, in the project's own prefix for the architecture, with
# an X display for their dialogs: a session of their own when there is none.
set(CMAKE_CROSSCOMPILING_EMULATOR env VELMO_WINE_ARCH=${VELMO_WINE_ARCH} ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-session-run)
