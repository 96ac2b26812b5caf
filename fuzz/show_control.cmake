# Datagrams on the OSC port and messages on the MQTT set topics.
if(TARGET kestra_oscmqtt)
    kestra_fuzz_target(osc_message SOURCES OscMessageFuzz.cpp LIBS kestra_oscmqtt)
    kestra_fuzz_target(mqtt_set SOURCES MqttSetFuzz.cpp LIBS kestra_oscmqtt)
endif()
