# vz_add_test(<name> SOURCES ... LIBS ...)
# One gtest executable per area; every test runs headless under the offscreen platform,
# in its own scratch directory so that files in the current directory never collide.
function(vz_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VZ_BIN_DIR=${CMAKE_BINARY_DIR}/bin;VZ_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
