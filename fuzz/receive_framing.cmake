# The receive framing of the serial link (kestra_comm).
if(TARGET kestra_comm)
    kestra_fuzz_target(receive_framing SOURCES ReceiveFramingFuzz.cpp LIBS kestra_comm)
endif()
