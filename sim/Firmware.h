// The KESTRA's regular firmware: applies every command to the device state
// and answers every frame with exactly one reply frame.
//
// Replies (command byte 0x01 throughout; "E1 n" is the error report with code n):
//
//   Received frame              Payload          Effect                              Reply
//   --------------------------  ---------------  ----------------------------------  --------------------------
//   05 poll                     -                ducking simulation reports          next pending ducking report
//                                                                                    (C8 state | C4 line level,
//                                                                                    C5 mic level), else ACK
//   08 IAP reset                -                restart into the boot loader        ACK, then boot loader
//   A1 LINE                     source 0..4      line source                         C1 source
//   A2 STEREO                   gain, ch 00..04  line/output gain                    C2 gain ch
//   A3 MIC                      gain, ch 10..15  microphone gain                     C3 gain ch
//   A8 MANDUCKING               0 off / 2 on     manual ducking                      C8 ducking state
//   A9 DUCKING                  flag, ch 10..15  microphone priority                 C9 flag ch
//   AA GANGED                   flag, pair 1/2   sub / master ganged                 CA flag pair
//   AB SAVELOAD                 preset, 0 load   load preset 1..3, 0 = factory set   ACK
//                                       1 save   save live state into preset 1..3    ACK
//   AE MUTE                     flag, channel    mute of a line/output/mic channel   CE flag ch
//   B2 DK_MIC_THD               2..127           ducking threshold                   D2 value
//   B3 DK_ST_RED                0..79            ducking attenuation                 D3 value
//   B4 DK_HOLD                  1..100           hold time (x 10 ms)                 D4 value
//   B5 DK_FADEOUT / B6 FADEIN   0..63            fade speeds (ms per gain step)      D5 / D6 value
//   B7 SWITCH                   0..3             switch-on setting                   D7 value
//   B8 RESET                    any byte         presets 1..3 := factory set,        ACK
//                                                switch-on := 0 (live state kept)
//   AF INQUIRY 01 xx            -                -                                   C1 source
//   AF INQUIRY 02 ch (00..04)   -                -                                   C2 gain ch
//   AF INQUIRY 03 ch (10..15)   -                -                                   C3 gain ch
//   AF INQUIRY 04               -                -                                   C8 ducking state
//   AF INQUIRY 05 ch (10..15)   -                -                                   C9 priority ch
//   AF INQUIRY 06 pair (1, 2)   -                -                                   CA ganged pair
//   AF INQUIRY 07 ch            -                -                                   CE mute ch
//   BF INQUIRY_DX 00            -                -                                   D8 (nothing to report)
//   BF INQUIRY_DX 01 xx         -                -                                   D8
//   BF INQUIRY_DX 02 ch         -                -                                   D8
//   BF INQUIRY_DX 03            -                -                                   D7 switch-on setting
//   BF INQUIRY_DX 04..08        -                -                                   D2..D6 ducking settings
//   a value out of range, a channel or pair that does not exist, missing payload   E1 4, nothing changes
//   any other sub byte, command byte or inquiry parameter                          E1 3
//   (a frame with a wrong checksum never reaches this class: it is answered NAK)
//
// Ganged pairs: while a pair is ganged, a gain or mute for its left output
// (sub 01, master 03) drives the right one too, keeping the distance the two
// gains had when the pair was ganged (the right gain held inside 0..79); the
// reply still names the left output only. Ganging with either side muted
// mutes both; parting gives the right side the left side's mute. A command
// for the right output sets it alone and takes the new distance.
//
// Ducking state byte (C8): bit 0 = ducking active now (speech), bit 1 = manual
// ducking on. Inquiries never draw C4/C5, which the panel answers with polls.
//
// Other legal answers (another report for an inquiry, ACK for a setting, any
// report for a poll, busy and late replies): Choices.h. Firmware takes those
// about inquiries, settings and polls; SimDevice and KestraSim the others.
//
// Ducking: speech (SetSpeech) on an unmuted microphone starts ducking at once;
// the ducked channels (the line and every microphone without priority) then
// fade down by `attenuation` gain steps at one step per `fadeOut` ms. When the
// speech stops, ducking holds for `holdTime` x 10 ms, then ends and the levels
// fade back at one step per `fadeIn` ms. Manual ducking lowers the levels too,
// without setting the active bit. Time comes in through `nowMs` arguments
// (any monotonic millisecond clock), so tests need no real time.
#pragma once

#include "Choices.h"
#include "DeviceState.h"
#include "Lcmd.h"

#include <array>
#include <cstdint>
#include <deque>

namespace sim {

class Firmware {
public:
    explicit Firmware(DeviceState state = {});

    // Exactly one reply frame for one received frame.
    ByteVector HandleFrame(const LCmd& frame, std::int64_t nowMs);

    // Moves the ducking simulation on to `nowMs` (never backwards).
    void Advance(std::int64_t nowMs);
    // Microphones with speech above the threshold: bit n-1 for microphone n.
    void SetSpeech(unsigned micMask, std::int64_t nowMs);
    unsigned Speech() const { return speech_; }
    bool DuckingActive() const { return active_; }
    // Gain steps currently taken off the ducked channels.
    int DuckDepth() const { return depth_; }

    const DeviceState& State() const { return state_; }
    void SetState(const DeviceState& state);
    // Counts every change of what the device keeps in memory (live state,
    // presets, switch-on setting), so that an owner knows when to persist.
    std::uint64_t Revision() const { return revision_; }

    // True once after CM_MCS_IAP_RESET was acknowledged.
    bool TakeBootLoaderRequest();

    void SetChoices(const Choices& choices);
    const Choices& CurrentChoices() const { return choices_; }
    // The line's level (C4) as the ducking simulation reports it now.
    ByteVector LineLevelReport() const;

private:
    ByteVector Setting(const LCmd& frame);
    // What Firmware.h's table answers to an inquiry (AF or BF).
    ByteVector OwnInquiry(std::uint8_t sub, const ByteVector& p) const;
    ByteVector Inquiry(const ByteVector& p) const;
    ByteVector InquiryDx(const ByteVector& p) const;
    ByteVector ChosenInquiry(const LCmd& frame) const;
    ByteVector Poll();
    // The current value of the next item in the full read's order.
    ByteVector NextItemReport();
    std::uint8_t DuckStateByte() const;
    bool Ducks(int mic) const;  // 0-based microphone index
    void QueueLevels();
    void RequeueDuckedLevels();
    void Queue(int key);
    void Changed() { ++revision_; }
    // The distance of each pair (left gain minus right) from the live gains.
    void TakeGangOffsets();
    // The gain (or the mute) just set on a left output reaches the right
    // output of a ganged pair.
    void FollowLeft(std::uint8_t ch, bool gain);

    DeviceState state_;
    Choices choices_;
    int nextItem_ = 0;  // polls-any-report: index into the full read
    std::uint64_t revision_ = 0;
    bool bootLoaderRequest_ = false;
    std::array<int, 2> gangOffset_{};  // sub, master

    unsigned speech_ = 0;
    bool active_ = false;
    bool holding_ = false;
    std::int64_t holdEnd_ = 0;
    int depth_ = 0;
    std::int64_t lastMs_ = 0;
    bool started_ = false;
    std::int64_t fadeCarry_ = 0;
    // Reports waiting for polls: kDuckKey, kLineKey, or kMicKey + mic index.
    std::deque<int> pending_;
};

// The 49 inquiries of the panel's full read, in the order it sends them, as
// frames on the line.
inline constexpr int kFullReadInquiries = 49;
std::vector<ByteVector> FullReadInquiries();

// Report frame builders.
ByteVector Report(std::uint8_t sub);
ByteVector Report(std::uint8_t sub, std::uint8_t b0);
ByteVector Report(std::uint8_t sub, std::uint8_t b0, std::uint8_t b1);
ByteVector ErrorReport(std::uint8_t code);

inline constexpr std::uint8_t kErrorUnknownRequest = 3;
inline constexpr std::uint8_t kErrorInvalidData = 4;

}  // namespace sim
