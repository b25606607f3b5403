# The Windows build (CMAKE_SYSTEM_NAME Windows; see cmake/toolchains/). The
# system serves WinINet, the auto-proxy library, kernel32 and user32; of the
# platform layer only the support library is built, as ZEMSYS.DLL. The
# library itself becomes ZEMHTTP.DLL (zem_windows_library below).
#
# Targets, each with its import library in lib/ (libZEMSYS.dll.a,
# libZEMHTTP.dll.a) and the DLLs beside the programs in bin/, where the
# system's search order finds them:
#   zemsys       ZEMSYS.DLL
#   zemplatform  what a program links to reach the platform: ZEMSYS.DLL and
#                the public headers (kernel32 and user32 come with every link)
#   zemhttp      ZEMHTTP.DLL
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/lib)

# NAME.DLL, with its import library libNAME.dll.a.
function(zem_dll_name target name)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} PREFIX "" SUFFIX ".DLL"
    IMPORT_PREFIX "lib" IMPORT_SUFFIX ".dll.a")
endfunction()

# ---- the compiler's runtime ----
# libstdc++, libgcc (SEH on 64 bits, DWARF-2 unwinding on 32) and winpthread,
# which every module imports (see the toolchain files). The compiler tells
# where they are; they are copied into bin/ so that the build's programs run,
# and installed beside ZEMHTTP.DLL.
set(ZEM_RUNTIME_DLLS "")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(IS_ABSOLUTE "${found}" AND EXISTS "${found}")
    get_filename_component(found "${found}" REALPATH)
    list(APPEND ZEM_RUNTIME_DLLS "${found}")
  endif()
endforeach()
list(LENGTH ZEM_RUNTIME_DLLS ZEM_RUNTIME_DLL_COUNT)
if(NOT ZEM_RUNTIME_DLL_COUNT EQUAL 3)
  message(FATAL_ERROR "The compiler's runtime DLLs were not all found: ${ZEM_RUNTIME_DLLS}")
endif()
file(COPY ${ZEM_RUNTIME_DLLS} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})

# ---- the support library ----
file(GLOB ZEM_ZEMSYS_SOURCES CONFIGURE_DEPENDS platform/zemsys/*.cpp)
list(FILTER ZEM_ZEMSYS_SOURCES EXCLUDE REGEX "_posix\\.cpp$")
add_library(zemsys SHARED ${ZEM_ZEMSYS_SOURCES})
target_include_directories(zemsys PUBLIC
  "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>"
  "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/zemhttp>")
target_compile_definitions(zemsys PRIVATE ZEMSYS_BUILDING)
zem_dll_name(zemsys ZEMSYS)

add_library(zemplatform INTERFACE)
target_link_libraries(zemplatform INTERFACE zemsys)

# ---- the library ----
# The plain functions are exported under their plain names on both targets.
# The 32-bit standard-call functions carry "@<argument bytes>" in the
# object files: "Name@N == Name" exports the plain name and gives the import
# library the decorated symbol callers compiled against the header refer to.
file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/windows/zemhttp.def ZEM_DEF_LINES)
set(ZEM_DEF_TEXT "")
foreach(line IN LISTS ZEM_DEF_LINES)
  if(line MATCHES "^ +([A-Za-z_][A-Za-z0-9_]*)@([0-9]+)$")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(line "  ${CMAKE_MATCH_1}@${CMAKE_MATCH_2} == ${CMAKE_MATCH_1}")
    else()
      set(line "  ${CMAKE_MATCH_1}")
    endif()
  endif()
  string(APPEND ZEM_DEF_TEXT "${line}\n")
endforeach()
set(ZEM_DEF_FILE ${PROJECT_BINARY_DIR}/windows/zemhttp.def)
# Written through a copy that changes only with its text, so that a new
# configure does not relink the library.
file(WRITE ${ZEM_DEF_FILE}.new "${ZEM_DEF_TEXT}")
configure_file(${ZEM_DEF_FILE}.new ${ZEM_DEF_FILE} COPYONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/windows/zemhttp.def)

# The upload icon (resource 303), drawn at build time.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(ZEM_ICON_FILE ${PROJECT_BINARY_DIR}/windows/zemhttp.ico)
add_custom_command(OUTPUT ${ZEM_ICON_FILE}
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/cmake/windows/make_icon.py ${ZEM_ICON_FILE}
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/windows/make_icon.py VERBATIM)

# Called for the zemhttp target once it is defined: the module-definition
# file, the resource script and the system's internet library, which the
# upload engine links (the client object loads it by name at run time).
function(zem_windows_library target)
  target_sources(${target} PRIVATE ${ZEM_DEF_FILE} ${PROJECT_SOURCE_DIR}/cmake/windows/zemhttp.rc)
  set_source_files_properties(${PROJECT_SOURCE_DIR}/cmake/windows/zemhttp.rc PROPERTIES
    OBJECT_DEPENDS ${ZEM_ICON_FILE})
  target_include_directories(${target} PRIVATE ${PROJECT_BINARY_DIR}/windows)
  target_compile_definitions(${target} PRIVATE ZEMHTTP_BUILDING)
  target_link_libraries(${target} PUBLIC wininet)
  zem_dll_name(${target} ZEMHTTP)
endfunction()
