# Run by cpack after it made the packages, so that each depends on its files
# alone. The archive generators store the files in the file system's order,
# with the builder's times, user and group: a zip is rewritten in name order.
# The DEB generator gives its ar members the modes of the files it wrote,
# which follow the builder's umask: they are set to 0644, as dpkg-deb does.
# A package that could not be rewritten is removed, so none but reproducible
# ones are left in the build directory.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.zip$")
    set(QRV_NORMALISE normalise_zip.py)
  elseif(package MATCHES "\\.deb$")
    set(QRV_NORMALISE normalise_deb.py)
  else()
    continue()
  endif()
  execute_process(COMMAND ${CPACK_QRV_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/../packaging/${QRV_NORMALISE} ${package}
    RESULT_VARIABLE QRV_NORMALISE_STATUS)
  if(NOT QRV_NORMALISE_STATUS EQUAL 0)
    file(REMOVE "${package}")
    message(FATAL_ERROR "could not rewrite ${package} with ${QRV_NORMALISE} (${QRV_NORMALISE_STATUS}): removed it")
  endif()
endforeach()
