# Toolchain file: Windows x86-64 with MinGW-w64 (Debian: g++-mingw-w64-x86-64), from Linux.
#   cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The POSIX-thread variant of the compiler is used when it is installed (it has std::async,
# so the two analysis passes run side by side), the Win32-thread one otherwise. The runtime
# is linked statically: the .exe needs no MinGW DLL beside it. Tests run under Wine
# (Debian: wine64) when it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_mingw x86_64-w64-mingw32)

find_program(_mingw_cxx NAMES ${_mingw}-g++-posix ${_mingw}-g++ REQUIRED)
find_program(_mingw_cc NAMES ${_mingw}-gcc-posix ${_mingw}-gcc)
set(CMAKE_CXX_COMPILER ${_mingw_cxx})
if(_mingw_cc)
  set(CMAKE_C_COMPILER ${_mingw_cc})
endif()
set(CMAKE_RC_COMPILER ${_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# pkg-config sees only the target's libraries, never the build machine's (GDAL, for one).
set(ENV{PKG_CONFIG_LIBDIR} "${CMAKE_FIND_ROOT_PATH}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

find_program(_wine NAMES wine64 wine PATHS /usr/lib/wine)
if(_wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${_wine})
endif()
