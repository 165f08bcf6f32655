# Installation, manual page and Debian package. Included at the end of the
# top-level CMakeLists.txt; the version comes from project() alone.

include(GNUInstallDirs)

configure_file(${PROJECT_SOURCE_DIR}/man/qrv_tools.1.in ${PROJECT_BINARY_DIR}/qrv_tools.1 @ONLY)

# Directories 0755, files 0644 and the program 0755, whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The Windows zip holds the program at its top, beside its README.
if(WIN32)
  set(QRV_PROGRAM_DIR .)
else()
  set(QRV_PROGRAM_DIR ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS qrv_tools RUNTIME DESTINATION ${QRV_PROGRAM_DIR}
  PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
if(NOT WIN32)
  # Gzipped with -n (no name, no time stamp), so the package is reproducible.
  find_program(QRV_GZIP gzip REQUIRED)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/qrv_tools.1.gz
    COMMAND ${QRV_GZIP} -9n -c ${PROJECT_BINARY_DIR}/qrv_tools.1 > ${PROJECT_BINARY_DIR}/qrv_tools.1.gz
    DEPENDS ${PROJECT_BINARY_DIR}/qrv_tools.1
    VERBATIM)
  add_custom_target(qrv_man_page ALL DEPENDS ${PROJECT_BINARY_DIR}/qrv_tools.1.gz)
  install(FILES ${PROJECT_BINARY_DIR}/qrv_tools.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  # The package's changelog names the version; a new version needs an entry.
  file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog QRV_CHANGELOG_TOP LIMIT_COUNT 1)
  if(NOT QRV_CHANGELOG_TOP MATCHES "^qrv-tools \\(${PROJECT_VERSION}\\) ")
    message(WARNING "packaging/changelog has no entry for ${PROJECT_VERSION} at its top")
  endif()
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
    COMMAND ${QRV_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${PROJECT_BINARY_DIR}/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
    VERBATIM)
  add_custom_target(qrv_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
  set(QRV_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/qrv-tools)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/changelog.gz ${PROJECT_SOURCE_DIR}/README.md
    DESTINATION ${QRV_DOC_DIR} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides RENAME qrv-tools
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
else()
  # README and license as .txt with CR LF line ends, which every Windows
  # editor opens and shows line by line.
  configure_file(${PROJECT_SOURCE_DIR}/README.md ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_BINARY_DIR}/LICENSE.txt DESTINATION .
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()

set(CPACK_PACKAGE_NAME qrv-tools)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "qrv_tools developers")
set(CPACK_PACKAGE_CONTACT "qrv_tools developers <qrv-tools@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Convert Intel HEX firmware into a flash image, optionally TEA/XTEA encrypted")
set(CPACK_PACKAGE_DESCRIPTION
  "qrv_tools reads up to four Intel HEX files into one flash image, can encrypt\n\
it with TEA or XTEA, and writes it as a raw binary and as an Intel HEX file.")
# The Windows zip holds the very .exe the end-to-end tests ran under wine: it
# is stripped by the linker, and cpack copies it as it is.
if(MINGW)
  target_link_options(qrv_tools PRIVATE $<$<OR:$<CONFIG:Release>,$<CONFIG:MinSizeRel>>:-s>)
else()
  set(CPACK_STRIP_FILES ON)
endif()
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A static program depends on no package; a dynamic one's dependencies (libc,
# libstdc++) come from the binary itself, which cpack reads with `file`.
find_program(QRV_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QRV_DPKG_SHLIBDEPS AND NOT QRV_STATIC_LINK)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
# Every package is rewritten with python3 after cpack made it
# (cmake/cpack_normalise.cmake); without it cpack stops before it writes one.
find_program(QRV_PYTHON3 python3)
if(NOT QRV_PYTHON3)
  message(WARNING "python3 not found: the tool builds, but cpack will make no package "
                  "(Debian: install python3, then configure again)")
endif()
set(CPACK_QRV_PYTHON3 "${QRV_PYTHON3}")
set(CPACK_QRV_CHANGELOG "${PROJECT_SOURCE_DIR}/packaging/changelog")
if(WIN32)
  # cpack names it qrv-tools-VERSION-win64.zip, or -win32.zip for the 32-bit build.
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
endif()
include(CPack)
