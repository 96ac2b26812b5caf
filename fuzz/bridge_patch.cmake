# Bodies and WebSocket messages handed to `kestractl serve`.
if(TARGET kestra_bridge)
    kestra_fuzz_target(bridge_patch SOURCES BridgePatchFuzz.cpp LIBS kestra_bridge)
endif()
