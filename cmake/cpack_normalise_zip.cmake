# Run by cpack after it made the packages. The archive generators store the
# files in the file system's order, with the builder's times, user and group;
# a zip is rewritten so that it depends on its files alone.
find_program(QRV_PYTHON3 python3)
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.zip$")
    if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} OR NOT QRV_PYTHON3)
      message(FATAL_ERROR "${package} cannot be made reproducible: it needs python3 and SOURCE_DATE_EPOCH "
                          "(or a git checkout to take it from)")
    endif()
    execute_process(COMMAND ${QRV_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/../packaging/normalise_zip.py ${package}
      RESULT_VARIABLE QRV_NORMALISE_STATUS)
    if(NOT QRV_NORMALISE_STATUS EQUAL 0)
      message(FATAL_ERROR "could not rewrite ${package} in a fixed order")
    endif()
  endif()
endforeach()
