# OSC and MQTT for `kestractl serve`: liblo's message codec on Qt's UDP
# socket, libmosquitto for the broker, both on the bridge core.
find_package(Qt6 REQUIRED COMPONENTS Network)
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBLO REQUIRED IMPORTED_TARGET liblo)
pkg_check_modules(MOSQUITTO REQUIRED IMPORTED_TARGET libmosquitto)

add_library(kestra_oscmqtt STATIC
    ${CMAKE_CURRENT_LIST_DIR}/BridgeCalls.h
    ${CMAKE_CURRENT_LIST_DIR}/OscAddress.cpp ${CMAKE_CURRENT_LIST_DIR}/OscAddress.h
    ${CMAKE_CURRENT_LIST_DIR}/OscWire.cpp ${CMAKE_CURRENT_LIST_DIR}/OscWire.h
    ${CMAKE_CURRENT_LIST_DIR}/OscBridge.cpp ${CMAKE_CURRENT_LIST_DIR}/OscBridge.h
    ${CMAKE_CURRENT_LIST_DIR}/MqttTopics.cpp ${CMAKE_CURRENT_LIST_DIR}/MqttTopics.h
    ${CMAKE_CURRENT_LIST_DIR}/MqttDiscovery.cpp ${CMAKE_CURRENT_LIST_DIR}/MqttDiscovery.h
    ${CMAKE_CURRENT_LIST_DIR}/MqttBridge.cpp ${CMAKE_CURRENT_LIST_DIR}/MqttBridge.h
    ${CMAKE_CURRENT_LIST_DIR}/ShowControl.cpp ${CMAKE_CURRENT_LIST_DIR}/ShowControl.h)
target_include_directories(kestra_oscmqtt PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(kestra_oscmqtt PUBLIC kestra_bridge kestra_device Qt6::Core Qt6::Network PkgConfig::LIBLO PkgConfig::MOSQUITTO)
