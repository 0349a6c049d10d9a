# mirelo_add_test(NAME <name> LABEL <unit|protocol|servers|ui> SOURCES ... [LIBS ...])
# One test executable per unit; its tests/data folder is reachable as TEST_DATA_DIR.
include(GoogleTest)

function(mirelo_add_test)
  if(NOT MIRELO_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${T_NAME} PRIVATE
    TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/tests/data"
    TEST_BINARY_DIR="${CMAKE_CURRENT_BINARY_DIR}")
  gtest_discover_tests(${T_NAME}
    NO_PRETTY_VALUES
    PROPERTIES LABELS ${T_LABEL}
    DISCOVERY_TIMEOUT 60)
endfunction()
