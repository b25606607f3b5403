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
  # The internet-library double is not built for Windows: the programs that
  # drive the client against it are left out, and a fixture that would load
  # it fails with the empty path.
  ZEM_TEST_DOUBLE_PATH="")
# setenv and unsetenv as the tests use them.
target_compile_options(zemtest_support PUBLIC -include ${CMAKE_CURRENT_SOURCE_DIR}/support/environment_windows.h)

# The areas whose tests drive the library over real loopback servers or need
# no internet library at all. Left out: the files that script the double.
set(ZEM_WINDOWS_TEST_EXCLUDES
  client/config_discovery_test.cpp client/config_url_test.cpp client/library_binding_test.cpp
  client/lifecycle_test.cpp client/transport_calls_test.cpp client/wininet_double_test.cpp
  client/config_headers_test.cpp client/config_settings_test.cpp client/errors_test.cpp)
foreach(area client upload)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${area}/*_test.cpp)
  foreach(excluded IN LISTS ZEM_WINDOWS_TEST_EXCLUDES)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  add_executable(${area}_tests ${sources})
  # Some tests call the system's internet library directly, as the client does.
  target_link_libraries(${area}_tests PRIVATE zemtest_support gtest_main zemhttp wininet)
endforeach()
