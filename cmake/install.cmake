# Installation, manual page and Debian package. Included at the end of the
# top-level CMakeLists.txt; the version comes from project() alone.

include(GNUInstallDirs)

configure_file(${PROJECT_SOURCE_DIR}/man/qrv_tools.1.in ${PROJECT_BINARY_DIR}/qrv_tools.1 @ONLY)

install(TARGETS qrv_tools RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NOT WIN32)
  install(FILES ${PROJECT_BINARY_DIR}/qrv_tools.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_PACKAGE_NAME qrv-tools)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "qrv_tools developers")
set(CPACK_PACKAGE_CONTACT "qrv_tools developers <qrv-tools@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Convert Intel HEX firmware into a flash image, optionally TEA/XTEA encrypted")
set(CPACK_PACKAGE_DESCRIPTION
  "qrv_tools reads up to four Intel HEX files into one flash image, can encrypt\n\
it with TEA or XTEA, and writes it as a raw binary and as an Intel HEX file.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The package's dependencies (libc, libstdc++) come from the binary itself.
find_program(QRV_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QRV_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
endif()
include(CPack)
