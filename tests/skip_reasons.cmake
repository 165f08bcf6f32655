# Run by ctest after the tests (CTEST_CUSTOM_POST_TEST): prints each skipped
# GoogleTest test of this run with the reason it gave, from the XML reports in
# REPORTS, so that "100% tests passed" does not hide a skip.
file(GLOB_RECURSE reports "${REPORTS}/*.xml")
set(lines "")
foreach(report IN LISTS reports)
  file(READ "${report}" xml)
  # A ';' would split the matches below, which are lists.
  string(REPLACE "&#x0A;" "\n" xml "${xml}")
  string(REPLACE ";" "," xml "${xml}")
  # <testcase name="T" ... classname="S"> <skipped message="FILE:LINE&#x0A;REASON">
  string(REGEX MATCHALL "<testcase name=\"[^\"]*\"[^>]*classname=\"[^\"]*\">[ \n]*<skipped message=\"[^\"]*\"" skips "${xml}")
  foreach(skip IN LISTS skips)
    string(REGEX REPLACE "^<testcase name=\"([^\"]*)\".*classname=\"([^\"]*)\".*<skipped message=\"([^\"]*)\"$" "\\2.\\1" name "${skip}")
    string(REGEX REPLACE "^.*<skipped message=\"[^\n\"]*\n([^\"]*)\"$" "\\1" reason "${skip}")
    string(REPLACE "\n" " / " reason "${reason}")
    string(APPEND lines "\n  ${name}: ${reason}")
  endforeach()
endforeach()
if(lines)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "Skipped, with the reason each gave:${lines}")
endif()
