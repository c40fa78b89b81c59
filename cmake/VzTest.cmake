# vz_add_test(<name> SOURCES ... LIBS ...)
# One gtest executable per area; every test runs headless under the offscreen platform,
# in its own scratch directory so that files in the current directory never collide.
function(vz_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    # Where the programs and the source tree are; the environment variables VZ_BIN_DIR and
    # VZ_SOURCE_DIR override them.
    target_compile_definitions(${name} PRIVATE
        VZ_DEFAULT_BIN_DIR="${CMAKE_BINARY_DIR}/bin" VZ_DEFAULT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
