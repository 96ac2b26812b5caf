# Any file handed to `kestractl restore`.
if(TARGET kestra_device)
    kestra_fuzz_target(state_file SOURCES StateFileFuzz.cpp LIBS kestra_device)
endif()
