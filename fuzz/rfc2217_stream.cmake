# The RFC 2217 client reading whatever a telnet server sends.
if(TARGET kestra_comm)
    kestra_fuzz_target(rfc2217_stream SOURCES Rfc2217StreamFuzz.cpp LIBS kestra_comm)
endif()
