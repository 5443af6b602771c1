# GoogleTest from Debian's googletest sources, built with the cross compiler.
set(QSURGE_GTEST_SOURCE /usr/src/googletest CACHE PATH "googletest source tree")
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${QSURGE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# qsurge_add_test(NAME SOURCES... [LIBS libs...] [RESOURCES])
# One test executable, run as one ctest test under Wine.
function(qsurge_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
    # The Wine wrapper installs the simulated driver before every run.
    if(TARGET nvsim)
        add_dependencies(${name} nvsim)
    endif()
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()
