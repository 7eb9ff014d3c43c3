# Windows cross-build with Debian's mingw-w64 (posix thread model), shared by
# the two thin toolchain files that set VERRIN_MINGW_ARCH (i686 or x86_64)
# before including this one.
# The runtime (libgcc, libstdc++, winpthread) is linked statically, so
# Verrin.dll and verrin.exe need nothing but Windows system DLLs.
set(VERRIN_MINGW_TRIPLET ${VERRIN_MINGW_ARCH}-w64-mingw32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VERRIN_MINGW_ARCH})
set(CMAKE_C_COMPILER ${VERRIN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VERRIN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VERRIN_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VERRIN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# pkg-config must see the target's .pc files only, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/${VERRIN_MINGW_TRIPLET}/lib/pkgconfig")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# Test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
