// What a frame means, in words, for the traffic log and other human readers:
// "MIC 3 gain -17dB", "mute Sub left on", "poll", "ACK", "device error 3".
// A command the panel sends and the report that confirms it read alike, so a
// log shows at a glance whether the device took a change.
#pragma once

#include "Lcmd.h"
#include "ReportDecoder.h"

#include <cstdint>
#include <string>

// "MIC 1".."MIC 6", "Line", "Sub left", "Sub right", "Master left",
// "Master right"; "channel XX" for a byte that is no channel.
std::string ChannelText(std::uint8_t channelByte);

// A received frame, through the one decoder.
std::string ReportText(const ReportEvent& event);
// A frame the panel sends (command byte 0x01).
std::string CommandText(const LCmd& command);
