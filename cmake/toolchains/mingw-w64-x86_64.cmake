# Cross-compiles for 64-bit Windows with the mingw-w64 compilers of the posix
# thread model (Debian: g++-mingw-w64-x86-64-posix).
#
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZEM_MINGW_TRIPLET x86_64-w64-mingw32)
set(ZEM_WINE_NAMES wine64 wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
