// What the receive side knows about replies and reports from the device:
// which sub bytes mean something, how many payload bytes each report's layout
// reads, the fixed reply texts and the ids of the busy and error messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace report {
inline constexpr std::uint8_t kLineSource = 0xC1;
inline constexpr std::uint8_t kStereoGain = 0xC2;
inline constexpr std::uint8_t kMicGain = 0xC3;
inline constexpr std::uint8_t kLevel = 0xC4;
inline constexpr std::uint8_t kLevel2 = 0xC5;
inline constexpr std::uint8_t kDuckState = 0xC8;
inline constexpr std::uint8_t kPriority = 0xC9;
inline constexpr std::uint8_t kGanged = 0xCA;
inline constexpr std::uint8_t kSubLevels = 0xCC;
inline constexpr std::uint8_t kMasterLevels = 0xCD;
inline constexpr std::uint8_t kMute = 0xCE;
inline constexpr std::uint8_t kThreshold = 0xD2;
inline constexpr std::uint8_t kAttenuation = 0xD3;
inline constexpr std::uint8_t kHoldTime = 0xD4;
inline constexpr std::uint8_t kFadeOut = 0xD5;
inline constexpr std::uint8_t kFadeIn = 0xD6;
inline constexpr std::uint8_t kSwitchOn = 0xD7;
inline constexpr std::uint8_t kNoEffect = 0xD8;
inline constexpr std::uint8_t kBusy = 0xE0;
inline constexpr std::uint8_t kError = 0xE1;
}  // namespace report

inline constexpr const char* kAckText = "-ACK-";
inline constexpr const char* kNakText = "-NAK-";

// Message ids in the string table (English; the loader adds 1000 for German).
inline constexpr int kBusyMessageId = 30102;
inline constexpr int kFirstErrorMessageId = 30103;
inline constexpr int kErrorMessageCount = 10;

// A report the dispatcher acts on (0xC1..0xE1 minus the gaps). ACK and NAK
// are replies, not reports, and are not included.
bool IsRecognisedReport(std::uint8_t subByte);

// Payload bytes that a recognised report's layout reads (0, 1 or 2); a report
// that arrives with fewer is too short to be applied. nullopt when unrecognised.
std::optional<std::size_t> ReportPayloadLength(std::uint8_t subByte);

// "unknow command: %02X" with the sub byte in upper-case hex.
std::string UnknownCommandText(std::uint8_t subByte);

// Id of the message for device error code `code`; none for codes of 10 or more.
std::optional<int> ErrorMessageId(std::uint8_t code);
