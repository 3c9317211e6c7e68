# Writes the application's Info dictionary from the template that
# configuring made, with the build date and the copyright year put in:
#
#   cmake -DTEMPLATE=<Info.json.template> -DOUTPUT=<Info.json> -P StampInfo.cmake
#
# The build runs it when a source of the application changes, so an
# unchanged tree builds nothing and keeps the date of its last change.
include(${CMAKE_CURRENT_LIST_DIR}/BuildDate.cmake)

# The build date is written as the wall-clock time in Auckland, in the
# layout "EEE MMM d HH:mm:ss yyyy".
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env TZ=Pacific/Auckland date "+%a %b %-d %H:%M:%S %Y"
  OUTPUT_VARIABLE VELORAN_BUILD_DATE
  OUTPUT_STRIP_TRAILING_WHITESPACE
  ERROR_QUIET
  RESULT_VARIABLE build_date_result)
if(NOT build_date_result EQUAL 0 OR VELORAN_BUILD_DATE STREQUAL "")
  veloran_auckland_build_date(VELORAN_BUILD_DATE)
endif()
string(TIMESTAMP VELORAN_BUILD_YEAR "%Y" UTC)

configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
