# What both mingw-w64 toolchains share; ZEM_MINGW_TRIPLET names the target.
set(CMAKE_C_COMPILER ${ZEM_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEM_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEM_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZEM_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The compiler's own runtime (libgcc, libstdc++, winpthread) goes into each
# module, so that the DLLs and programs need only the system's DLLs.
# "-static" only picks the static archive where both exist: the system's
# libraries (kernel32, user32, wininet) exist only as import libraries.
set(ZEM_MINGW_STATIC_RUNTIME "-static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${ZEM_MINGW_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${ZEM_MINGW_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${ZEM_MINGW_STATIC_RUNTIME}")
# Programs run under Wine when CMake or a test driver needs to run one.
find_program(ZEM_WINE NAMES ${ZEM_WINE_NAMES})
if(ZEM_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEM_WINE})
endif()
