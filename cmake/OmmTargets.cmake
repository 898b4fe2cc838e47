# Helpers shared by every module of the project.
#
# omm_module(NAME SOURCES ... [LIBS ...]) builds one static library of the engine,
# named omm_NAME, and adds it to the `engine` interface target, so that modules can be
# added and built without touching each other's build files.
# omm_test(NAME SOURCES ... [LIBS ...]) builds one GoogleTest executable and registers
# its cases with CTest.

include(GoogleTest)

function(omm_module name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(omm_${name} STATIC ${ARG_SOURCES})
    target_include_directories(omm_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(omm_${name} PUBLIC omm_options ${ARG_LIBS})
    set_property(TARGET engine APPEND PROPERTY INTERFACE_LINK_LIBRARIES omm_${name})
endfunction()

function(omm_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${name} PRIVATE omm_options ${ARG_LIBS} omm_testsupport
                          GTest::gtest GTest::gmock)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                         PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                         WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()
