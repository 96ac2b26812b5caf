// The answers a KESTRA may choose where the panel asks only for one reply per
// frame and reports it can apply by their sub byte. The default is the table
// in Firmware.h; every other choice is just as legal a device, so code that
// talks to the device is tested against each of them and random mixes.
//
//   name                  text              what changes
//   own                   own               nothing: Firmware.h's table
//   rotated               rotated[=N]       inquiry i of the full read draws the reply of inquiry i+N (mod 49):
//                                           a whole read still reports every item, in another order
//   switch-on-elsewhere   switch-on-elsewhere  BF 03 draws D8; BF 00 draws the switch-on report D7
//   ack-for-nothing       ack-for-nothing   inquiries that would draw D8 draw ACK
//   settings-acked        settings-acked    every setting (A1..A9, AA, AE, B2..B7) is carried out and
//                                           answered ACK instead of its report (refusals stay E1)
//   polls-any-report      polls-any-report  a poll with no ducking report pending draws the report of
//                                           the next item in the read's order (its current value), not ACK
//   busy                  busy=N            every Nth framed frame draws E0 and is not carried out
//   late                  late=N:MS         every Nth reply to a frame goes out MS ms late; later replies
//                                           queue behind it, in order
//   held-reply            held-reply        a device server held a reply for an earlier client: after the
//                                           line is opened (or the first byte after 1 s of quiet) one extra
//                                           reply goes out before the first frame's reply, ACK and the
//                                           line's level report C4 in turn
//
// The three inquiry choices exclude each other; the rest combine freely.
// "seed=S" varies where polls-any-report starts and which held reply comes
// first; "random:S" (Parse) is Random(S).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

struct Choices {
    enum class Inquiries {
        Own,
        Rotated,
        SwitchOnElsewhere,
        AckForNothing,
    };
    Inquiries inquiries = Inquiries::Own;
    int rotation = 7;  // Rotated: 1..48
    bool settingsAcked = false;
    bool pollsAnyReport = false;
    int busyEvery = 0;  // 0: never busy
    int lateEvery = 0;  // 0: never late
    int lateMs = 0;
    bool holdsEarlierReply = false;
    std::uint32_t seed = 0;

    bool operator==(const Choices&) const = default;

    // Every single choice by itself, named, for test tables.
    static std::vector<std::pair<std::string, Choices>> Each();
    // A reproducible legal mix: any combination, N and MS in sensible ranges,
    // MS >= 1500 when late is on.
    static Choices Random(std::uint32_t seed);
    // The text form above, comma-separated; nullopt (and `error` says why)
    // when it cannot be used.
    static std::optional<Choices> Parse(std::string_view text, std::string* error = nullptr);
    std::string Text() const;
};

inline constexpr int kMinBusyEvery = 2;  // every frame busy would carry nothing out
inline constexpr int kQuietBeforeHeldReplyMs = 1000;

}  // namespace sim
