# Request bytes as `kestractl serve` reads them, before Qt HttpServer does.
if(TARGET kestra_bridge)
    kestra_fuzz_target(http_request SOURCES HttpRequestFuzz.cpp LIBS kestra_bridge)
endif()
