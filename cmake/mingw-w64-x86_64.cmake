# Cross-compiles tpjconv for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The "posix" threads variant of the compiler gives std::thread; everything, its runtime
# included, is linked into tpjconv.exe, so no DLL has to stand beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(tpjconv_mingw x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${tpjconv_mingw}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${tpjconv_mingw}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${tpjconv_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${tpjconv_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Tests and helper programs built for Windows run under Wine on a Linux machine.
find_program(CMAKE_CROSSCOMPILING_EMULATOR NAMES wine wine64)
