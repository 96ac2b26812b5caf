# The settings store reading an arbitrary file.
if(TARGET kestra_ui)
    kestra_fuzz_target(settings_reader SOURCES SettingsReaderFuzz.cpp LIBS kestra_ui)
endif()
