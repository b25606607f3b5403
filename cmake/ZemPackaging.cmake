# Debian packages from the build tree: `cpack -G DEB` in the build folder
# (or `cmake --build <build> --target package`). One package per install
# component; the runtime package carries the ABI version in its name, so two
# ABIs can be installed side by side.
set(CPACK_PACKAGE_NAME zemhttp)
set(CPACK_PACKAGE_VENDOR "ZEMHTTP developers")
set(CPACK_PACKAGE_CONTACT "ZEMHTTP developers <zemhttp@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_GENERATOR DEB)
set(CPACK_COMPONENTS_ALL runtime dev)
if(TARGET zemhttp_tool)
  list(APPEND CPACK_COMPONENTS_ALL tool)
endif()

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
# dpkg-shlibdeps names the system libraries each package needs (libc6,
# libstdc++6, libcurl4, libssl3, ...); our own libraries are named by hand,
# at the exact version, since they come from the same build.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps finds our own libraries (same SONAMEs) in the build tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/lib)
set(ZEM_DEB_VERSION "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
set(ZEM_DEB_RUNTIME libzemhttp${ZEMHTTP_SOVERSION})

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${ZEM_DEB_RUNTIME})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# Descriptions: the first line is the synopsis, then the long text.
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "C++ HTTP services library - runtime
The shared objects of ZEMHTTP: libzemhttp (the CZemHttp client object and the
upload task engine) and the platform layer it runs on, libzemplatform (kernel
and user services, the support library) and libzemwininet (the internet
library on libcurl and OpenSSL).")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libzemhttp-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${ZEM_DEB_RUNTIME} (= ${ZEM_DEB_VERSION})")
set(CPACK_DEBIAN_DEV_DESCRIPTION "C++ HTTP services library - development files
Headers (installed into include/zemhttp), the .so links, the CMake package
zemhttp (target zemhttp::zemhttp) and the pkg-config file zemhttp.pc for
building programs against ZEMHTTP.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME zemhttp)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION web)
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "${ZEM_DEB_RUNTIME} (= ${ZEM_DEB_VERSION})")
set(CPACK_DEBIAN_TOOL_DESCRIPTION "command-line HTTP client on the ZEMHTTP library
zemhttp runs GET, POST, PUT, DELETE, HEAD, OPTIONS and TRACE requests through
the library's client object and prints the status texts of HTTP codes.")

include(CPack)
