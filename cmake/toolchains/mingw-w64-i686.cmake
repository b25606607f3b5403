# Cross-compiles for 32-bit Windows with the mingw-w64 compilers of the posix
# thread model (Debian: g++-mingw-w64-i686-posix).
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZEM_MINGW_TRIPLET i686-w64-mingw32)
set(ZEM_WINE_NAMES wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
