# Reports against a live main window (offscreen).
if(TARGET kestra_device AND TARGET kestra_ui)
    kestra_fuzz_target(dispatcher SOURCES DispatcherFuzz.cpp LIBS kestra_device kestra_ui)
endif()
