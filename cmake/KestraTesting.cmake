# kestra_test_program(<target> [QT] LIBS <libs...> LABELS <labels...>
#                     [SOURCES <more files...>] [EXCLUDE <files...>]
#                     [SHARDS <n>] [TIMEOUT <s>])
#
# One GoogleTest program per test folder: every *.cpp of the calling folder
# (picked up again when a file is added, so a new test file needs no edit
# here) but the EXCLUDEd ones, plus SOURCES. QT: the program's main() creates
# a QApplication (tests/support/QtTestMain.cpp), starting offscreen with a
# private runtime and settings directory; otherwise gmock's main.
#
# CTest runs each program as SHARDS processes (GoogleTest's own sharding),
# not one process per test case: a Qt start costs more than most cases, and
# two or more shards still keep `ctest -j2` busy. TIMEOUT is per shard.
# Run one case by hand with the program's --gtest_filter.
include(GoogleTest)

function(kestra_test_program target)
    cmake_parse_arguments(ARG "QT" "TIMEOUT;SHARDS" "SOURCES;LIBS;LABELS;EXCLUDE" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    foreach(file IN LISTS ARG_EXCLUDE)
        list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    endforeach()
    if(WIN32)
        _kestra_portable_sources(sources ${sources})
        _kestra_portable_sources(ARG_SOURCES ${ARG_SOURCES})
        list(REMOVE_ITEM ARG_LIBS util)
        if(NOT sources)
            return()
        endif()
    endif()
    set(qt "")
    if(ARG_QT)
        set(qt QT)
    endif()
    _kestra_test_target(${target} ${qt} SOURCES ${sources} ${ARG_SOURCES} LIBS ${ARG_LIBS}
        LABELS ${ARG_LABELS} TIMEOUT ${ARG_TIMEOUT} SHARDS ${ARG_SHARDS})
endfunction()

# A Windows build runs its tests under Wine, where there are no
# pseudo-terminals and none of the Linux servers some tests start: the files
# that use them, themselves or in a header of the tests' own they include,
# stay out; the rest of each program runs.
set(KESTRA_POSIX_ONLY_TEST_CODE "PtyPeer|LineEnd\\.h|MosquittoBroker|Ser2net|<unistd\\.h>|<sys/|<pty\\.h>|<termios\\.h>|<poll\\.h>")
function(_kestra_portable_sources out)
    set(kept)
    foreach(file IN LISTS ARGN)
        file(READ ${file} text)
        get_filename_component(dir ${file} DIRECTORY)
        string(REGEX MATCHALL "#include \"[^\"]+\"" includes "${text}")
        foreach(include IN LISTS includes)
            string(REGEX REPLACE "#include \"([^\"]+)\"" "\\1" header "${include}")
            foreach(where ${dir} ${PROJECT_SOURCE_DIR}/tests/support)
                if(EXISTS ${where}/${header})
                    file(READ ${where}/${header} more)
                    string(APPEND text "${more}")
                    break()
                endif()
            endforeach()
        endforeach()
        if(NOT text MATCHES "${KESTRA_POSIX_ONLY_TEST_CODE}")
            list(APPEND kept ${file})
        endif()
    endforeach()
    set(${out} ${kept} PARENT_SCOPE)
endfunction()

# Cases left out under Wine, each for what it tests that only POSIX, Linux or
# a real Windows font set has (README's Windows section names them):
set(KESTRA_WINDOWS_LEFT_OUT
    # kestractl serve as a process on a symbolic link to a pseudo-terminal,
    # ended with SIGTERM; a Windows console program ends on its console's Ctrl+C
    ServeProcess.*
    # the token file's POSIX mode 0600; on Windows the profile's ACL keeps it private
    Access.AMadeTokenIsKeptPrivately
    # Linux's device names (/dev/ttyS0, /dev/ttyUSB0) and its adapters' listing
    PortList.*
    # silences the device and needs the change to go out before the next
    # 100 ms poll, which Wine's slower programs miss (the poll then holds the line)
    Api.AServerGoneWhileAnswersAreOwedFreesItsConnectionsAndAnswersNothingLater
    # captions measured against Wine's stand-in fonts, not Windows' own
    Widgets.StatusBarPanelsAndRadioGroupItems
    Language.CaptionsFollowTheChoiceThereAndBackAndFit)
list(JOIN KESTRA_WINDOWS_LEFT_OUT ":" _kestra_windows_filter)

# kestra_add_test(<target> [QT] SOURCES <files...> LIBS <libs...> LABELS <labels...>)
# The older form, for a program whose files are listed one by one. Its
# TIMEOUT was per test case and is left to the default per shard.
function(kestra_add_test target)
    cmake_parse_arguments(ARG "QT" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    set(qt "")
    if(ARG_QT)
        set(qt QT)
    endif()
    _kestra_test_target(${target} ${qt} SOURCES ${ARG_SOURCES} LIBS ${ARG_LIBS} LABELS ${ARG_LABELS})
endfunction()

function(_kestra_test_target target)
    cmake_parse_arguments(ARG "QT" "TIMEOUT;SHARDS" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    if(NOT ARG_SHARDS)
        set(ARG_SHARDS 2)
    endif()
    add_executable(${target} ${ARG_SOURCES})
    if(ARG_QT)
        target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/QtTestMain.cpp)
        if(WIN32)
            set_source_files_properties(${PROJECT_SOURCE_DIR}/tests/support/QtTestMain.cpp PROPERTIES
                COMPILE_OPTIONS "-include;${PROJECT_SOURCE_DIR}/cmake/WindowsPosixCompat.h")
        endif()
        target_link_libraries(${target} PRIVATE ${ARG_LIBS} Qt6::Widgets Qt6::Test GTest::gmock GTest::gtest)
        target_precompile_headers(${target} PRIVATE
            <gmock/gmock.h> <gtest/gtest.h> <QApplication> <QSignalSpy> <QString> <QTest> <QTimer> <QWidget>)
    else()
        target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gmock_main GTest::gmock GTest::gtest)
        target_precompile_headers(${target} PRIVATE <gmock/gmock.h> <gtest/gtest.h>)
    endif()
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
    set(environment "")
    if(WIN32)
        # Wine starts and runs a program several times slower.
        math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * 3")
        set(environment ";GTEST_FILTER=-${_kestra_windows_filter}")
    endif()
    math(EXPR last "${ARG_SHARDS} - 1")
    foreach(i RANGE ${last})
        set(name ${target})
        if(ARG_SHARDS GREATER 1)
            math(EXPR n "${i} + 1")
            set(name ${target}.${n}of${ARG_SHARDS})
        endif()
        add_test(NAME ${name} COMMAND ${target})
        set_tests_properties(${name} PROPERTIES
            LABELS "${ARG_LABELS}"
            TIMEOUT ${ARG_TIMEOUT}
            ENVIRONMENT "GTEST_TOTAL_SHARDS=${ARG_SHARDS};GTEST_SHARD_INDEX=${i}${environment}")
    endforeach()
endfunction()
