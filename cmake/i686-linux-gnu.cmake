# 32-bit x86 Linux on a 64-bit Debian host: the host compilers with -m32
# (g++-multilib) and the i386 libraries of Debian multiarch.
#   cmake -S . -B build-32 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# pkg-config (the ICU fallback) must see the i386 .pc files only.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")
# 32-bit programs run natively when the kernel allows it (ia32 emulation);
# otherwise tests run under qemu-i386 (Debian qemu-user).
execute_process(COMMAND /lib/ld-linux.so.2 --version RESULT_VARIABLE VERRIN_NATIVE_I386
                OUTPUT_QUIET ERROR_QUIET)
if(NOT VERRIN_NATIVE_I386 EQUAL 0)
  find_program(VERRIN_QEMU_I386 qemu-i386)
  if(VERRIN_QEMU_I386)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VERRIN_QEMU_I386})
  else()
    message(WARNING "this system cannot run 32-bit programs and qemu-i386 is missing")
  endif()
endif()
