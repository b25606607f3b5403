# Versions, installation, the CMake and pkg-config packages, the reference
# documentation and the Debian packages. Included by the top-level
# CMakeLists.txt after every target is defined.
#
# Install components, one per Debian package:
#   runtime  the shared objects with their SONAME links (libzemhttp<ABI>)
#   dev      headers, the .so links, the CMake package, zemhttp.pc (libzemhttp-dev)
#   tool     the zemhttp program and its manual page (zemhttp)

# ---- shared objects: one ABI version for the three of them ----
set(ZEM_SHARED_LIBRARIES zemhttp zemplatform)
if(TARGET zemwininet)
  list(APPEND ZEM_SHARED_LIBRARIES zemwininet)
endif()
set_target_properties(${ZEM_SHARED_LIBRARIES} PROPERTIES
  VERSION ${PROJECT_VERSION}
  SOVERSION ${ZEMHTTP_SOVERSION}
  LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/exports.map)
# Only the public interface is exported (see cmake/exports.map and
# scripts/check-exports.py, which checks the result against the headers).
foreach(library ${ZEM_SHARED_LIBRARIES})
  target_link_options(${library} PRIVATE -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/exports.map)
endforeach()

# The auto-proxy library is loaded by name at run time ("jsproxy.dll"), never
# linked against: the same ABI version and export rule, installed with the
# runtime, not part of the CMake package.
if(TARGET zemjsproxy)
  set_target_properties(zemjsproxy PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${ZEMHTTP_SOVERSION}
    LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/exports.map)
  target_link_options(zemjsproxy PRIVATE -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/exports.map)
  install(TARGETS zemjsproxy LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_SKIP)
endif()

# ---- installation ----
install(TARGETS ${ZEM_SHARED_LIBRARIES} EXPORT zemhttpTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zemhttp)
if(TARGET zemhttp_tool)
  install(TARGETS zemhttp_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
endif()
# The manual page comes with the tool, compressed as Debian installs pages.
set(ZEM_MANUAL_PAGE ${PROJECT_SOURCE_DIR}/docs/zemhttp.1)
if(TARGET zemhttp_tool AND EXISTS ${ZEM_MANUAL_PAGE})
  set(ZEM_MANUAL_PAGE_GZ ${PROJECT_BINARY_DIR}/man/zemhttp.1.gz)
  add_custom_command(OUTPUT ${ZEM_MANUAL_PAGE_GZ}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND sh -c "gzip -9 -n -c '${ZEM_MANUAL_PAGE}' > '${ZEM_MANUAL_PAGE_GZ}'"
    DEPENDS ${ZEM_MANUAL_PAGE} VERBATIM)
  add_custom_target(zemhttp_manual_page ALL DEPENDS ${ZEM_MANUAL_PAGE_GZ})
  install(FILES ${ZEM_MANUAL_PAGE_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
endif()

file(GLOB ZEM_PUBLIC_HEADERS include/*.h platform/include/*.h)
install(FILES ${ZEM_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zemhttp COMPONENT dev)

# ---- the CMake package ----
include(cmake/ZemCMakePackage.cmake)

# ---- the pkg-config file ----
# Relocatable: the prefix is found from the file's own folder, so one build
# serves a package for /usr and an install into any other prefix.
set(ZEM_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH ZEM_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" ZEM_PC_TO_PREFIX "${ZEM_PC_TO_PREFIX}")
set(ZEM_PC_PREFIX "\${pcfiledir}/${ZEM_PC_TO_PREFIX}")
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(ZEM_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(ZEM_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
set(ZEM_PC_LIBS "-lzemhttp -lzemplatform")
if(TARGET zemwininet)
  string(APPEND ZEM_PC_LIBS " -lzemwininet")
endif()
configure_file(cmake/zemhttp.pc.in ${PROJECT_BINARY_DIR}/zemhttp.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zemhttp.pc DESTINATION ${ZEM_PKGCONFIG_DIR} COMPONENT dev)

include(cmake/ZemDocs.cmake)
include(cmake/ZemPackaging.cmake)
