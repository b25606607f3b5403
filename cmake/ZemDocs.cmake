# The reference of the public interfaces, made by Doxygen from the comments of
# the public headers into <build>/docs/html: `cmake --build <build> --target
# docs`. An undocumented public member, or any other Doxygen warning, fails
# the target.
find_package(Doxygen QUIET)
if(DOXYGEN_FOUND)
  set(ZEM_DOCS_OUTPUT ${PROJECT_BINARY_DIR}/docs)
  file(GLOB ZEM_DOCUMENTED_HEADERS ${PROJECT_SOURCE_DIR}/include/*.h)
  string(REPLACE ";" " " ZEM_DOCS_INPUT "${ZEM_DOCUMENTED_HEADERS}")
  configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${ZEM_DOCS_OUTPUT}/Doxyfile @ONLY)
  add_custom_target(docs
    COMMAND ${DOXYGEN_EXECUTABLE} ${ZEM_DOCS_OUTPUT}/Doxyfile
    WORKING_DIRECTORY ${ZEM_DOCS_OUTPUT}
    DEPENDS ${ZEM_DOCUMENTED_HEADERS}
    COMMENT "Reference of the public headers in ${ZEM_DOCS_OUTPUT}/html"
    VERBATIM)
endif()
