# The Windows install folder and its NSIS installer, included by
# packaging/CMakeLists.txt in a Windows build instead of the Linux desktop
# files and the Debian package. The programs sit at the top of the folder
# with the DLLs and Qt plugins they load beside them, where Windows and Qt
# look first.
set(_win ${CMAKE_CURRENT_LIST_DIR})
set(KESTRA_WINDOWS_ICON ${_win}/kestra-panel.ico)

set(programs)
foreach(p kestra-panel kestractl)
    if(TARGET ${p})
        list(APPEND programs ${p})
    endif()
endforeach()
install(TARGETS ${programs} RUNTIME DESTINATION .)

set(KESTRA_RC_ICON ${KESTRA_WINDOWS_ICON})
foreach(p IN LISTS programs)
    set(KESTRA_RC_PROGRAM ${p})
    if(p STREQUAL "kestra-panel")
        set(KESTRA_RC_DESCRIPTION "KESTRA Remote Panel")
        # A window program: no console window opens with it.
        set_target_properties(${p} PROPERTIES WIN32_EXECUTABLE ON)
    else()
        set(KESTRA_RC_DESCRIPTION "KESTRA Remote Panel command line")
    endif()
    configure_file(${_win}/program.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${p}.rc @ONLY)
    target_sources(${p} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${p}.rc)
endforeach()

# The DLLs come from where this build found them: the Windows Qt's bin/ and
# plugins/, the other libraries' prefixes, and the compiler's runtime (libstdc++, libgcc, winpthread).
set(_dll_dirs)
if(TARGET Qt6::Core)
    get_target_property(_qtcore Qt6::Core IMPORTED_LOCATION_RELEASE)
    if(NOT _qtcore)
        get_target_property(_qtcore Qt6::Core IMPORTED_LOCATION)
    endif()
    get_filename_component(_qtbin ${_qtcore} DIRECTORY)
    list(APPEND _dll_dirs ${_qtbin})
endif()
# liblo's and libmosquitto's DLLs sit in the bin/ folder of the prefix they
# were found in.
foreach(prefix IN LISTS CMAKE_FIND_ROOT_PATH)
    if(IS_DIRECTORY ${prefix}/bin)
        list(APPEND _dll_dirs ${prefix}/bin)
    endif()
endforeach()
foreach(dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE _found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${_found}")
        get_filename_component(_dir ${_found} DIRECTORY)
        list(APPEND _dll_dirs ${_dir})
    endif()
endforeach()
list(REMOVE_DUPLICATES _dll_dirs)
# Qt's plugins folder sits beside its bin/ folder.
set(_plugins "")
if(_qtbin AND IS_DIRECTORY ${_qtbin}/../plugins)
    get_filename_component(_plugins ${_qtbin}/../plugins ABSOLUTE)
endif()
list(JOIN _dll_dirs "\" \"" _dll_args)
install(CODE "
    execute_process(COMMAND \"${_win}/deploy-runtime.sh\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\"
                            \"${_plugins}\" \"${_dll_args}\" RESULT_VARIABLE rc)
    if(rc)
        message(FATAL_ERROR \"The DLLs beside the programs could not all be found\")
    endif()")

# Qt's own German texts (its dialogs' buttons, the edit menu), which the
# panel loads from Qt's translations folder when German is chosen. They are
# the same files on every platform: Debian's, of the same Qt. A qt.conf beside
# the programs makes their folder Qt's prefix, so translations\ is found there.
find_file(KESTRA_QTBASE_DE qtbase_de.qm PATHS /usr/share/qt6/translations NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(KESTRA_QTBASE_DE)
    install(FILES ${KESTRA_QTBASE_DE} DESTINATION translations)
else()
    message(WARNING "qtbase_de.qm not found (Debian's qt6-translations-l10n): Qt's own texts stay English in German")
endif()
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/qt.conf "[Paths]\nPrefix=.\n")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qt.conf DESTINATION .)

# kestractl's manual page, as on Linux (help2man from its --help, with the
# sections of man/kestractl.h2m), as plain text in the install folder:
# Windows has no man. help2man asks the Windows program itself, through the
# emulator (Wine) that runs the tests. The panel is left out: a window
# program shows its --help in a message box.
find_program(HELP2MAN help2man)
find_program(GROFF groff)
if(TARGET kestractl AND HELP2MAN AND GROFF AND CMAKE_CROSSCOMPILING_EMULATOR)
    set(_manual ${CMAKE_CURRENT_BINARY_DIR}/manual)
    # help2man names the page after the program it runs.
    file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/help/kestractl
        CONTENT "#!/bin/sh\n\"${CMAKE_CROSSCOMPILING_EMULATOR}\" \"$<TARGET_FILE:kestractl>\" \"$@\" 2>&1 | tr -d '\\r'\n"
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    add_custom_command(OUTPUT ${_manual}/kestractl.txt
        COMMAND ${CMAKE_COMMAND} -E make_directory ${_manual}
        COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1
                --include=${PROJECT_SOURCE_DIR}/packaging/man/kestractl.h2m
                --output=${_manual}/kestractl.1 ${CMAKE_CURRENT_BINARY_DIR}/help/kestractl
        COMMAND sh -c "${GROFF} -mandoc -Tutf8 -P-cbou '${_manual}/kestractl.1' | sed 's/$/\\r/' >'${_manual}/kestractl.txt'"
        DEPENDS kestractl ${PROJECT_SOURCE_DIR}/packaging/man/kestractl.h2m
        COMMENT "kestractl's manual as text"
        VERBATIM)
    add_custom_target(windows-manual ALL DEPENDS ${_manual}/kestractl.txt)
    install(FILES ${_manual}/kestractl.txt DESTINATION .)
    set(KESTRA_WINDOWS_MANUAL ON)
endif()

# The installer: kestra-remote-panel-<version>-win64.exe. Installs into
# Program Files for every user when run with administrator rights (CPack's
# NSIS script switches its shortcuts and registry entries accordingly),
# with a Start-menu entry for the panel and an uninstaller.
set(CPACK_GENERATOR NSIS)
# A 64-bit installer, like the programs it carries (NSIS builds 32-bit ones
# unless told).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_PACKAGE_NAME kestra-remote-panel)
set(CPACK_PACKAGE_VENDOR VELDORATEST)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Remote control panel for the KESTRA mixer")
set(CPACK_PACKAGE_FILE_NAME kestra-remote-panel-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "KESTRA Remote Panel")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "KESTRA Remote Panel")
set(CPACK_PACKAGE_EXECUTABLES kestra-panel "KESTRA Remote Panel")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "KESTRA Remote Panel")
set(CPACK_NSIS_DISPLAY_NAME "KESTRA Remote Panel")
set(CPACK_NSIS_MUI_ICON ${KESTRA_WINDOWS_ICON})
set(CPACK_NSIS_MUI_UNIICON ${KESTRA_WINDOWS_ICON})
set(CPACK_NSIS_INSTALLED_ICON_NAME kestra-panel.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# kestractl is a console program: a second entry opens a command prompt in
# the install folder, where it runs by name.
set(CPACK_NSIS_CREATE_ICONS_EXTRA
    "CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\KESTRA command line.lnk' '$SYSDIR\\\\cmd.exe' '/K kestractl.exe --help'")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "Delete '$SMPROGRAMS\\\\$MUI_TEMP\\\\KESTRA command line.lnk'")
if(KESTRA_WINDOWS_MANUAL)
    string(APPEND CPACK_NSIS_CREATE_ICONS_EXTRA
        "\nCreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\kestractl manual.lnk' '$INSTDIR\\\\kestractl.txt'")
    string(APPEND CPACK_NSIS_DELETE_ICONS_EXTRA "\nDelete '$SMPROGRAMS\\\\$MUI_TEMP\\\\kestractl manual.lnk'")
endif()
include(CPack)
