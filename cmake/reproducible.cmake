# Reproducible builds: two builds of one commit, in any directories, at any
# times, under any time zone, locale, umask, file order and CPU count, give the
# same bytes in qrv_tools, both qrv_tools.exe, the .deb and both Windows zips.
# Included after the targets are defined.

# No build path in the program (__FILE__, debug information).
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  foreach(target qrv qrv_tools)
    target_compile_options(${target} PRIVATE
      -ffile-prefix-map=${PROJECT_SOURCE_DIR}/= -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
  endforeach()
endif()
# No link time in the PE header.
if(MINGW)
  target_link_options(qrv_tools PRIVATE -Wl,--no-insert-timestamp)
endif()

# Packages date their files by SOURCE_DATE_EPOCH; cpack takes it from the last
# commit (without git, from packaging/changelog) when it is not set, at
# packaging time, so a new commit needs no new configure.
configure_file(${CMAKE_CURRENT_LIST_DIR}/cpack_dates.cmake.in ${PROJECT_BINARY_DIR}/cpack_dates.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/cpack_dates.cmake)
# The DEB generator honours SOURCE_DATE_EPOCH itself but not a fixed mode;
# both kinds of package are rewritten after cpack made them.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/cpack_normalise.cmake)
