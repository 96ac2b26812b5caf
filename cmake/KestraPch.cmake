# kestra_precompile_libraries(<folders...>)
#
# Precompiled Qt headers for the product libraries of the given folders.
# About two thirds of compiling one of our Qt sources is parsing Qt's headers
# again (measured at -O1 on ui/, comm/ and device/ sources); a library that
# parses them once saves most of that in every build tree. Plain C++
# libraries (protocol, sim, update) parse little and are left alone.
option(KESTRA_PCH "Precompile the Qt headers of the product libraries" ON)

function(kestra_precompile_libraries)
    if(NOT KESTRA_PCH)
        return()
    endif()
    foreach(dir IN LISTS ARGN)
        if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${dir}/CMakeLists.txt)
            continue()
        endif()
        get_property(targets DIRECTORY ${PROJECT_SOURCE_DIR}/${dir} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target IN LISTS targets)
            get_target_property(type ${target} TYPE)
            get_target_property(links ${target} LINK_LIBRARIES)
            if(NOT type STREQUAL "STATIC_LIBRARY" OR NOT links)
                continue()
            endif()
            # Widgets' headers where the library links them (directly or through
            # a library of ours that does), Core's elsewhere.
            set(widgets FALSE)
            foreach(link IN LISTS links)
                if(link STREQUAL "Qt6::Widgets" OR link STREQUAL "kestra_controls" OR link STREQUAL "kestra_ui")
                    set(widgets TRUE)
                endif()
            endforeach()
            if(widgets)
                target_precompile_headers(${target} PRIVATE <QComboBox> <QLabel> <QLineEdit> <QPainter>
                    <QProgressBar> <QPushButton> <QString> <QTimer> <QWidget>)
            elseif("Qt6::Core" IN_LIST links)
                target_precompile_headers(${target} PRIVATE <QObject> <QString> <QStringList> <QTimer>)
            endif()
        endforeach()
    endforeach()
endfunction()
