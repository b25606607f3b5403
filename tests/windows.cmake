# The Windows test programs: client_tests.exe and upload_tests.exe, run under
# Wine by scripts/wine-tests.sh against loopback servers that a launcher on
# the build machine starts for them (ZEMTEST_LAUNCHER, see
# tests/support/launched_server.h).

# GoogleTest from the system's sources, built with the cross compiler.
set(ZEM_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources built for the Windows tests")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${ZEM_GOOGLETEST_SOURCE} ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB ZEM_TEST_SUPPORT_SOURCES CONFIGURE_DEPENDS support/*.cpp)
list(FILTER ZEM_TEST_SUPPORT_SOURCES EXCLUDE REGEX "_posix[.]cpp$")
add_library(zemtest_support STATIC ${ZEM_TEST_SUPPORT_SOURCES})
target_include_directories(zemtest_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/support ${PROJECT_SOURCE_DIR})
target_link_libraries(zemtest_support PUBLIC zemplatform gtest ws2_32)
target_compile_definitions(zemtest_support PUBLIC
  ZEM_TEST_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
  ZEM_TEST_DOUBLE_PATH="$<TARGET_FILE:wininet_double>"
  ZEM_TEST_JSPROXY_DOUBLE_PATH="$<TARGET_FILE:jsproxy_double>")
# setenv and unsetenv as the tests use them.
target_compile_options(zemtest_support PUBLIC -include ${CMAKE_CURRENT_SOURCE_DIR}/support/environment_windows.h)

# The scripted stand-in for the internet library, as on Linux a module of its
# own that tests copy into a folder as WININET.DLL. Its message table is a
# resource here, as the system's FormatMessageA reads it.
file(GLOB ZEM_DOUBLE_SOURCES CONFIGURE_DEPENDS double/*.cpp)
list(REMOVE_ITEM ZEM_DOUBLE_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/double/message_table.cpp)
find_program(ZEM_WINDMC NAMES ${ZEM_MINGW_TRIPLET}-windmc windmc REQUIRED)
set(ZEM_DOUBLE_MC_DIR ${CMAKE_CURRENT_BINARY_DIR}/double_messages)
add_custom_command(OUTPUT ${ZEM_DOUBLE_MC_DIR}/message_table.rc ${ZEM_DOUBLE_MC_DIR}/MSG00409.bin
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZEM_DOUBLE_MC_DIR}
  COMMAND ${ZEM_WINDMC} -r ${ZEM_DOUBLE_MC_DIR} -h ${ZEM_DOUBLE_MC_DIR}
          ${CMAKE_CURRENT_SOURCE_DIR}/double/message_table.mc
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/double/message_table.mc VERBATIM)
zem_test_module(wininet_double ${ZEM_DOUBLE_SOURCES} ${ZEM_DOUBLE_MC_DIR}/message_table.rc)
target_include_directories(wininet_double PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/double ${ZEM_DOUBLE_MC_DIR})

# The stand-in for the auto-proxy library, copied by tests into a folder as
# jsproxy.dll.
file(GLOB ZEM_JSPROXY_DOUBLE_SOURCES CONFIGURE_DEPENDS double/jsproxy_double/*.cpp)
zem_test_module(jsproxy_double ${ZEM_JSPROXY_DOUBLE_SOURCES})

# Both suites whole: the client's tests that script the double load it as on
# Linux.
foreach(area client upload)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${area}/*_test.cpp)
  add_executable(${area}_tests ${sources})
  add_dependencies(${area}_tests wininet_double jsproxy_double)
  # Some tests call the system's internet library directly, as the client does.
  target_link_libraries(${area}_tests PRIVATE zemtest_support gtest_main zemhttp wininet)
endforeach()
