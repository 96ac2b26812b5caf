# The simulated device's input side (kestra_sim needs no Qt).
if(TARGET kestra_sim)
    kestra_fuzz_target(sim_input SOURCES SimInputFuzz.cpp LIBS kestra_sim)
endif()
