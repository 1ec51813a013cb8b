# Native builds use Debian's packaged GoogleTest; the Windows cross-build compiles the same
# Debian sources with MinGW, so both builds run one test framework of one version.
if(WIN32)
  set(QUILLORN_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(${QUILLORN_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # The googletest sources define GTest::gtest and GTest::gtest_main themselves.
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# quillorn_add_test(name SOURCES ... LIBS ...): one test executable. Natively CTest runs each of
# its cases in a process of its own. Under Wine every process start is a small chance of Wine
# itself failing (a lost server connection, a process that never exits), so there the whole
# executable is one CTest entry, run by scripts/wine-test.sh, which tells those apart.
function(quillorn_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main Threads::Threads)
  if(CMAKE_CROSSCOMPILING AND WIN32)
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-test.sh $<TARGET_FILE:${name}>
             WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
    set_tests_properties(${name} PROPERTIES TIMEOUT 1200)
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} PROPERTIES TIMEOUT 300)
  endif()
endfunction()

# quillorn_test_costs(test seconds [test seconds ...]): roughly how long the longest cases run
# (under the sanitizers, on two busy cores). CTest starts the costliest tests first, but on a
# fresh checkout it has no timings yet and would start them last, where one long case keeps a
# core busy after the others have run out of work. The cases exist only once CTest has listed
# the test programs, so the properties go into a file CTest reads after that listing: call this
# after quillorn_add_test. A name that no longer exists is ignored by CTest.
function(quillorn_test_costs)
  if(CMAKE_CROSSCOMPILING AND WIN32)
    return()  # under Wine a whole program is one test
  endif()
  set(text "")
  while(ARGN)
    list(POP_FRONT ARGN test seconds)
    string(APPEND text "set_tests_properties(\"${test}\" PROPERTIES COST ${seconds})\n")
  endwhile()
  set(file ${CMAKE_CURRENT_BINARY_DIR}/test_costs.cmake)
  file(WRITE ${file} "${text}")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()
