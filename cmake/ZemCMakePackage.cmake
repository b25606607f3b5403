# The CMake package zemhttp (target zemhttp::zemhttp) of the installed tree,
# for the Linux and the Windows installation alike (component dev).
set(ZEM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zemhttp)
install(EXPORT zemhttpTargets NAMESPACE zemhttp:: DESTINATION ${ZEM_CMAKE_DIR} COMPONENT dev)
include(CMakePackageConfigHelpers)
configure_package_config_file(cmake/zemhttpConfig.cmake.in
  ${PROJECT_BINARY_DIR}/zemhttpConfig.cmake
  INSTALL_DESTINATION ${ZEM_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/zemhttpConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/zemhttpConfig.cmake ${PROJECT_BINARY_DIR}/zemhttpConfigVersion.cmake
  DESTINATION ${ZEM_CMAKE_DIR} COMPONENT dev)
