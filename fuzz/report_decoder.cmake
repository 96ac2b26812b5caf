# A report from the line through the decoder into the headless state.
if(TARGET kestra_device)
    kestra_fuzz_target(report_decoder SOURCES ReportDecoderFuzz.cpp LIBS kestra_device)
endif()
