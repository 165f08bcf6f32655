# Run by cpack after staging the files, before the archive is made: every
# staged file and directory gets the time SOURCE_DATE_EPOCH names.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  file(GLOB_RECURSE QRV_STAGED LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
  list(SORT QRV_STAGED)
  execute_process(COMMAND touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" "${CPACK_TEMPORARY_DIRECTORY}" ${QRV_STAGED}
    RESULT_VARIABLE QRV_TOUCH_STATUS)
  if(NOT QRV_TOUCH_STATUS EQUAL 0)
    message(FATAL_ERROR "could not set the staged files' times")
  endif()
endif()
