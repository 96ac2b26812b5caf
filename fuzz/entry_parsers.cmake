# The typed-entry parsers of the gain and preference edit boxes.
if(TARGET kestra_ui)
    kestra_fuzz_target(entry_parsers SOURCES EntryParsersFuzz.cpp LIBS kestra_ui)
endif()
