# kestra_add_test(<target> [QT] SOURCES <files...> LIBS <libs...> [LABELS <labels...>] [TIMEOUT <s>])
#
# QT: the test's main() creates a QApplication (tests/support/QtTestMain.cpp)
# so that widgets, timers and the serial port work; otherwise gmock's main.
# One GoogleTest executable; every test case becomes a CTest test (discovered
# when the tests run, so a build never has to start Qt). The QT main starts
# offscreen with a private runtime and settings directory; sanitizer options
# come from scripts/test.sh. (No list-valued ENVIRONMENT here: CMake 3.25's
# discovery splits such lists into bogus property names.)
include(GoogleTest)

function(kestra_add_test target)
    cmake_parse_arguments(ARG "QT" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    if(ARG_QT)
        add_executable(${target} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/QtTestMain.cpp)
        target_link_libraries(${target} PRIVATE ${ARG_LIBS} Qt6::Widgets Qt6::Test GTest::gmock GTest::gtest)
    else()
        add_executable(${target} ${ARG_SOURCES})
        target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gmock_main GTest::gmock GTest::gtest)
    endif()
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
    gtest_discover_tests(${target}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES
            LABELS "${ARG_LABELS}"
            TIMEOUT ${ARG_TIMEOUT})
endfunction()

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/runtime)
file(CHMOD ${CMAKE_BINARY_DIR}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
