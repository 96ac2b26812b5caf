# Room panel files and the changes sent to a panel.
if(TARGET kestra_bridge)
    kestra_fuzz_target(room_panel SOURCES RoomPanelFuzz.cpp LIBS kestra_bridge)
endif()
