# veldrona_test(<name> SOURCES <files...> LIBS <libs...> [LABELS <labels...>])
# Builds one GoogleTest program and registers each of its tests with CTest.
function(veldrona_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(VELDRONA_FUZZ)
    # The fuzz build (clang) makes only the fuzz targets; the tests run in the g++ builds.
    set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
    return()
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
  # Tests find the built programs and tables through VELDRONA_BIN, the repository through the
  # compile definition VELDRONA_SOURCE_DIR.
  target_compile_definitions(${name} PRIVATE VELDRONA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  set(props ENVIRONMENT "VELDRONA_BIN=${VELDRONA_RUNTIME_DIR}")
  if(ARG_LABELS)
    list(APPEND props LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES ${props})
endfunction()
