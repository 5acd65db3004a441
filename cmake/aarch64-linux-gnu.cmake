# Toolchain file: Linux AArch64 (Debian: g++-aarch64-linux-gnu), from another Linux.
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
# Linked statically, so that qemu-user (Debian: qemu-user) runs the programs without an
# AArch64 library folder. long double is the 128-bit format there: the portable arithmetic
# is chosen by itself.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(_aarch64 aarch64-linux-gnu)

find_program(_aarch64_cxx NAMES ${_aarch64}-g++ REQUIRED)
find_program(_aarch64_cc NAMES ${_aarch64}-gcc)
set(CMAKE_CXX_COMPILER ${_aarch64_cxx})
if(_aarch64_cc)
  set(CMAKE_C_COMPILER ${_aarch64_cc})
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${_aarch64})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# pkg-config sees only the target's libraries, never the build machine's (GDAL, for one).
set(ENV{PKG_CONFIG_LIBDIR} "${CMAKE_FIND_ROOT_PATH}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

find_program(_qemu NAMES qemu-aarch64-static qemu-aarch64)
if(_qemu)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${_qemu})
endif()
