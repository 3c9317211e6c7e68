# Shared helpers for the project's targets.

# Compiler warnings for every target of ours.
function(veloran_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(VELORAN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# veloran_subsystem(NAME <name> [DEPENDS <targets...>])
#
# Builds the library `veloran_<name>` from every source below the calling
# folder. Headers are included as "<subsystem>/<file>.h" from src/.
#
# The subsystems are layered in the order src/CMakeLists.txt adds them: a
# library may link only libraries added before it, so the graph between
# them has no cycle and nothing links a library above it. Configuring
# stops at a library that breaks the order.
function(veloran_subsystem)
  cmake_parse_arguments(ARG "" "NAME" "DEPENDS" ${ARGN})
  foreach(dependency IN LISTS ARG_DEPENDS)
    if(dependency MATCHES "^veloran_" AND NOT TARGET ${dependency})
      message(FATAL_ERROR "veloran_${ARG_NAME} links ${dependency}, which is not below it: "
                          "a library links only those that src/CMakeLists.txt adds before it")
    endif()
  endforeach()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  add_library(veloran_${ARG_NAME} STATIC ${sources})
  target_include_directories(veloran_${ARG_NAME} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(veloran_${ARG_NAME} PUBLIC ${ARG_DEPENDS})
  veloran_warnings(veloran_${ARG_NAME})
endfunction()

# veloran_test_timeout(<program> <variable>)
#
# Sets <variable> to the seconds the test program may run before CTest
# stops it as hung: several times what it takes on a loaded two-core
# machine, so that a hang fails in minutes. Most programs take a few
# seconds; those known to take longer have limits of their own, in the
# normal build and in the sanitizer build, whose instrumented code runs
# slower (the archive's inflating and checksums most of all). With late
# wakes the pools' threads are held up at each wait: five times as long.
function(veloran_test_timeout program variable)
  set(slow
    # program          normal  sanitized
    tst_storecrash     120     240
    tst_ziparchive     60      480)
  set(limits 60 180)
  list(FIND slow ${program} at)
  if(at GREATER_EQUAL 0)
    math(EXPR at "${at} + 1")
    list(SUBLIST slow ${at} 2 limits)
  endif()
  if(VELORAN_SANITIZE OR VELORAN_FUZZ)
    list(GET limits 1 seconds)
  else()
    list(GET limits 0 seconds)
  endif()
  if(VELORAN_LATE_WAKES)
    math(EXPR seconds "${seconds} * 5")
  endif()
  set(${variable} ${seconds} PARENT_SCOPE)
endfunction()

# veloran_tests(DEPENDS <targets...> [SUPPORT <sources...>])
#
# Every tst_*.cpp in the calling folder becomes one QtTest executable,
# registered with CTest and run headless. Each program gets a home of its
# own for the run (tests/support/PrivateHome.cpp), so that runs at once
# share nothing they write. With VELORAN_LATE_WAKES every program runs
# with tests/support/LateWakes.cpp preloaded (scripts/test --late-wakes).
function(veloran_tests)
  cmake_parse_arguments(ARG "" "" "DEPENDS;SUPPORT" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  foreach(test_source IN LISTS tests)
    get_filename_component(test_name ${test_source} NAME_WE)
    add_executable(${test_name} ${test_source} ${ARG_SUPPORT}
      ${PROJECT_SOURCE_DIR}/tests/support/PrivateHome.cpp)
    target_link_libraries(${test_name} PRIVATE Qt6::Test ${ARG_DEPENDS})
    target_include_directories(${test_name} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_definitions(${test_name} PRIVATE
      VELORAN_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
      VELORAN_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    veloran_warnings(${test_name})
    add_test(NAME ${test_name} COMMAND ${test_name})
    veloran_test_timeout(${test_name} timeout)
    set(environment QT_QPA_PLATFORM=offscreen QT_LOGGING_TO_CONSOLE=1 CI=true)
    if(VELORAN_LATE_WAKES)
      list(APPEND environment LD_PRELOAD=$<TARGET_FILE:late_wakes>)
      if(VELORAN_SANITIZE OR VELORAN_FUZZ)
        # AddressSanitizer would otherwise refuse a library loaded before its own.
        set_tests_properties(${test_name} PROPERTIES
          ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=string_append::verify_asan_link_order=0")
      endif()
    endif()
    set_tests_properties(${test_name} PROPERTIES ENVIRONMENT "${environment}" TIMEOUT ${timeout})
  endforeach()
endfunction()

# Adds each folder of `parent` that has a CMakeLists.txt, in the given order.
function(veloran_add_existing parent)
  foreach(dir IN LISTS ARGN)
    if(EXISTS ${parent}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
