# What both mingw-w64 toolchains share; ZEM_MINGW_TRIPLET names the target.
set(CMAKE_C_COMPILER ${ZEM_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEM_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEM_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZEM_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The compiler's own runtime (libstdc++, libgcc, winpthread) is linked as
# DLLs, one copy shared by ZEMSYS.DLL, ZEMHTTP.DLL and the program. A static
# copy in each module gives each its own thread-local state, which is torn
# down wrongly when a thread that ran code of several modules ends (a heap
# corruption under the upload engine's asynchronous runs). The build copies
# the runtime DLLs beside its programs and installs them with ours.
# Programs run under Wine when CMake or a test driver needs to run one.
find_program(ZEM_WINE NAMES ${ZEM_WINE_NAMES})
if(ZEM_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEM_WINE})
endif()
