# kestra_add_test(<target> [QT] SOURCES <files...> LIBS <libs...> [LABELS <labels...>] [TIMEOUT <s>])
#
# QT: the test's main() creates a QApplication (tests/support/QtTestMain.cpp)
# so that widgets, timers and the serial port work; otherwise gmock's main.
# One GoogleTest executable; every test case becomes a CTest test (discovered
# when the tests run, so a build never has to start Qt). Widget tests run
# offscreen, with a private runtime directory and settings location.
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
    set(env
        "QT_QPA_PLATFORM=offscreen"
        "XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/runtime"
        "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-config"
        "KESTRA_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data"
        "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0"
        "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
        "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
        "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/tsan.supp:halt_on_error=1:second_deadlock_stack=1")
    gtest_discover_tests(${target}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES
            ENVIRONMENT "${env}"
            LABELS "${ARG_LABELS}"
            TIMEOUT ${ARG_TIMEOUT})
endfunction()

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/runtime)
file(CHMOD ${CMAKE_BINARY_DIR}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
