# Installation of the Windows build: the DLLs (ours and the compiler's
# runtime) and programs into bin/, the
# import libraries into lib/, the public headers into include/zemhttp/ and
# the CMake package zemhttp (target zemhttp::zemhttp).
set(ZEM_WINDOWS_TARGETS zemhttp zemsys zemplatform)
install(TARGETS ${ZEM_WINDOWS_TARGETS} EXPORT zemhttpTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zemhttp)
if(TARGET zemhttp_tool)
  install(TARGETS zemhttp_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
endif()
# The compiler's runtime DLLs, which our DLLs and programs import.
install(FILES ${ZEM_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
file(GLOB ZEM_PUBLIC_HEADERS include/*.h)
install(FILES ${ZEM_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zemhttp COMPONENT dev)

include(cmake/ZemCMakePackage.cmake)
