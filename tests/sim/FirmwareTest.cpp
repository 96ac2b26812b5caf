// Every setting command changes its one item, is answered as the reply table
// says, and the matching inquiry reports the new value back.
#include "Commands.h"
#include "Firmware.h"
#include "Hex.h"
#include "SimTestUtil.h"

#include <functional>
#include <gtest/gtest.h>

using sim::DeviceState;
using sim::Firmware;
using sim::Settings;

namespace {

std::string Ask(Firmware& fw, const LCmd& cmd) { return ToHex(fw.HandleFrame(cmd, 0)); }

struct SettingCase {
    const char* name;
    std::function<LCmd()> command;
    std::string reply;
    std::function<void(DeviceState&)> expect;
    std::function<LCmd()> inquiry;  // reads the item back
    std::string inquiryReply;
};

void PrintTo(const SettingCase& c, std::ostream* os) { *os << c.name; }

class SettingCommand : public testing::TestWithParam<SettingCase> {};

TEST_P(SettingCommand, ChangesOnlyItsItemAndInquiryReportsIt)
{
    const auto& c = GetParam();
    const DeviceState before = DeviceState::Random(7);
    Firmware fw(before);
    EXPECT_EQ(Ask(fw, c.command()), c.reply);
    DeviceState expected = before;
    c.expect(expected);
    EXPECT_EQ(fw.State(), expected) << "the command changed more (or less) than its own item";
    EXPECT_GT(fw.Revision(), 0u);
    EXPECT_EQ(Ask(fw, c.inquiry()), c.inquiryReply);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, SettingCommand, testing::Values(
    SettingCase{"line_source", [] { return CM_MCS_LINE(3); }, R("C1 03"),
        [](DeviceState& d) { d.live.lineSource = 3; }, [] { return CM_MCS_INQUIRY(1, 0); }, R("C1 03")},
    SettingCase{"line_off", [] { return CM_MCS_LINE(0); }, R("C1 00"),
        [](DeviceState& d) { d.live.lineSource = 0; }, [] { return CM_MCS_INQUIRY(1, 0); }, R("C1 00")},
    SettingCase{"master_right_gain", [] { return CM_MCS_STEREO(33, 4); }, R("C2 21 04"),
        [](DeviceState& d) { d.live.stereoGain[4] = 33; }, [] { return CM_MCS_INQUIRY(2, 4); }, R("C2 21 04")},
    SettingCase{"line_gain_mute_position", [] { return CM_MCS_STEREO(79, 0); }, R("C2 4F 00"),
        [](DeviceState& d) { d.live.stereoGain[0] = 79; }, [] { return CM_MCS_INQUIRY(2, 0); }, R("C2 4F 00")},
    SettingCase{"mic3_gain", [] { return CM_MCS_MIC(10, 0x12); }, R("C3 0A 12"),
        [](DeviceState& d) { d.live.micGain[2] = 10; }, [] { return CM_MCS_INQUIRY(3, 0x12); }, R("C3 0A 12")},
    SettingCase{"manual_ducking_on", [] { return CM_MCS_MANDUCKING(2); }, R("C8 02"),
        [](DeviceState& d) { d.live.manualDucking = true; }, [] { return CM_MCS_INQUIRY(4); }, R("C8 02")},
    SettingCase{"mic6_priority_off", [] { return CM_MCS_DUCKING(0, 0x15); }, R("C9 00 15"),
        [](DeviceState& d) { d.live.priority[5] = false; }, [] { return CM_MCS_INQUIRY(5, 0x15); }, R("C9 00 15")},
    SettingCase{"mic1_priority_on", [] { return CM_MCS_DUCKING(1, 0x10); }, R("C9 01 10"),
        [](DeviceState& d) { d.live.priority[0] = true; }, [] { return CM_MCS_INQUIRY(5, 0x10); }, R("C9 01 10")},
    SettingCase{"master_ganged", [] { return CM_MCS_GANGED(1, 2); }, R("CA 01 02"),
        [](DeviceState& d) { d.live.masterGanged = true; }, [] { return CM_MCS_INQUIRY(6, 2); }, R("CA 01 02")},
    SettingCase{"sub_unganged", [] { return CM_MCS_GANGED(0, 1); }, R("CA 00 01"),
        [](DeviceState& d) { d.live.subGanged = false; }, [] { return CM_MCS_INQUIRY(6, 1); }, R("CA 00 01")},
    SettingCase{"mute_sub_right", [] { return CM_MCS_MUTE(1, 2); }, R("CE 01 02"),
        [](DeviceState& d) { d.live.stereoMute[2] = true; }, [] { return CM_MCS_INQUIRY(7, 2); }, R("CE 01 02")},
    SettingCase{"unmute_mic2", [] { return CM_MCS_MUTE(0, 0x11); }, R("CE 00 11"),
        [](DeviceState& d) { d.live.micMute[1] = false; }, [] { return CM_MCS_INQUIRY(7, 0x11); }, R("CE 00 11")},
    SettingCase{"threshold", [] { return CM_MCS_DK_MIC_THD(127); }, R("D2 7F"),
        [](DeviceState& d) { d.live.threshold = 127; }, [] { return CM_MCS_INQUIRY_DX(4); }, R("D2 7F")},
    SettingCase{"attenuation", [] { return CM_MCS_DK_ST_RED(79); }, R("D3 4F"),
        [](DeviceState& d) { d.live.attenuation = 79; }, [] { return CM_MCS_INQUIRY_DX(5); }, R("D3 4F")},
    SettingCase{"hold_time", [] { return CM_MCS_DK_HOLD(100); }, R("D4 64"),
        [](DeviceState& d) { d.live.holdTime = 100; }, [] { return CM_MCS_INQUIRY_DX(6); }, R("D4 64")},
    SettingCase{"fade_out", [] { return CM_MCS_DK_FADEOUT(63); }, R("D5 3F"),
        [](DeviceState& d) { d.live.fadeOut = 63; }, [] { return CM_MCS_INQUIRY_DX(7); }, R("D5 3F")},
    SettingCase{"fade_in", [] { return CM_MCS_DK_FADEIN(0); }, R("D6 00"),
        [](DeviceState& d) { d.live.fadeIn = 0; }, [] { return CM_MCS_INQUIRY_DX(8); }, R("D6 00")},
    SettingCase{"switch_on_preset2", [] { return CM_MCS_SWITCH(2); }, R("D7 02"),
        [](DeviceState& d) { d.switchOn = 2; }, [] { return CM_MCS_INQUIRY_DX(3); }, R("D7 02")}),
    [](const auto& info) { return std::string(info.param.name); });

// Out-of-range values, missing payload and channels that do not exist are
// refused with "request data invalid" and change nothing.
struct RefusedCase {
    const char* name;
    const char* frame;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class RefusedSetting : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedSetting, AnswersInvalidDataAndKeepsState)
{
    const DeviceState before = DeviceState::Random(11);
    Firmware fw(before);
    const ByteVector bytes = Hex(GetParam().frame);
    EXPECT_EQ(ToHex(fw.HandleFrame(LCmd(bytes), 0)), R("E1 04"));
    EXPECT_EQ(fw.State(), before);
    EXPECT_EQ(fw.Revision(), 0u);
}

// Frames built by hand (checksum irrelevant here: the firmware gets parsed frames).
INSTANTIATE_TEST_SUITE_P(Catalogue, RefusedSetting, testing::Values(
    RefusedCase{"gain_200", "10 02 01 03 A2 C8 00 10 03 00"},
    RefusedCase{"gain_80", "10 02 01 03 A3 50 10 10 03 00"},
    RefusedCase{"stereo_channel_05", "10 02 01 03 A2 00 05 10 03 00"},
    RefusedCase{"mic_channel_16", "10 02 01 03 A3 00 16 10 03 00"},
    RefusedCase{"mic_command_stereo_channel", "10 02 01 03 A3 00 01 10 03 00"},
    RefusedCase{"line_source_5", "10 02 01 02 A1 05 10 03 00"},
    RefusedCase{"manual_ducking_1", "10 02 01 02 A8 01 10 03 00"},
    RefusedCase{"priority_flag_2", "10 02 01 03 A9 02 10 10 03 00"},
    RefusedCase{"ganged_pair_3", "10 02 01 03 AA 01 03 10 03 00"},
    RefusedCase{"mute_channel_08", "10 02 01 03 AE 01 08 10 03 00"},
    RefusedCase{"threshold_1", "10 02 01 02 B2 01 10 03 00"},
    RefusedCase{"threshold_128", "10 02 01 02 B2 80 10 03 00"},
    RefusedCase{"attenuation_80", "10 02 01 02 B3 50 10 03 00"},
    RefusedCase{"hold_0", "10 02 01 02 B4 00 10 03 00"},
    RefusedCase{"hold_101", "10 02 01 02 B4 65 10 03 00"},
    RefusedCase{"fade_out_64", "10 02 01 02 B5 40 10 03 00"},
    RefusedCase{"fade_in_64", "10 02 01 02 B6 40 10 03 00"},
    RefusedCase{"switch_4", "10 02 01 02 B7 04 10 03 00"},
    RefusedCase{"save_factory_set", "10 02 01 03 AB 00 01 10 03 00"},
    RefusedCase{"preset_4", "10 02 01 03 AB 04 00 10 03 00"},
    RefusedCase{"selector_2", "10 02 01 03 AB 01 02 10 03 00"},
    RefusedCase{"mic_without_channel", "10 02 01 02 A3 00 10 03 00"},
    RefusedCase{"line_without_payload", "10 02 01 01 A1 10 03 00"},
    RefusedCase{"reset_without_payload", "10 02 01 01 B8 10 03 00"},
    RefusedCase{"inquiry_gain_of_mic_channel", "10 02 01 03 AF 02 10 10 03 00"},
    RefusedCase{"inquiry_without_channel", "10 02 01 02 AF 07 10 03 00"},
    RefusedCase{"inquiry_without_parameter", "10 02 01 01 AF 10 03 00"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Firmware, UnknownRequestsAnswerRequestIdUnknown)
{
    const char* frames[] = {
        "10 02 01 01 A4 10 03 00",     // gap in the catalogue
        "10 02 01 01 CB 10 03 00",     // a report sub byte sent to the device
        "10 02 02 01 05 10 03 00",     // command byte other than 0x01
        "10 02 01 02 AF 08 10 03 00",  // inquiry parameter beyond 07
        "10 02 01 02 BF 09 10 03 00",  // DX parameter beyond 08
        "10 02 01 00 10 03 00",        // length 0: the sub byte is the DLE
    };
    for (const char* f : frames) {
        Firmware fw;
        EXPECT_EQ(ToHex(fw.HandleFrame(LCmd(Hex(f)), 0)), R("E1 03")) << f;
        EXPECT_EQ(fw.State(), DeviceState{}) << f;
    }
}

TEST(Firmware, PresetsSaveLoadAndFactoryDefault)
{
    DeviceState start;
    start.live = DeviceState::Random(3).live;
    Firmware fw(start);
    const std::string ack = R("01");

    EXPECT_EQ(Ask(fw, CM_MCS_SAVELOAD(2, 1)), ack);
    EXPECT_EQ(fw.State().presets[1], start.live);
    EXPECT_EQ(fw.State().presets[0], Settings::Factory()) << "saving preset 2 touched preset 1";

    const Settings other = DeviceState::Random(4).live;
    DeviceState changed = fw.State();
    changed.live = other;
    fw.SetState(changed);
    EXPECT_EQ(Ask(fw, CM_MCS_SAVELOAD(2, 0)), ack);
    EXPECT_EQ(fw.State().live, start.live) << "loading preset 2 brings back what was saved";

    EXPECT_EQ(Ask(fw, CM_MCS_SAVELOAD(0, 0)), ack);
    EXPECT_EQ(fw.State().live, Settings::Factory()) << "preset 0 is the factory set";
    EXPECT_EQ(fw.State().presets[1], start.live) << "loading keeps the presets";

    EXPECT_EQ(Ask(fw, CM_MCS_SWITCH(3)), R("D7 03"));
    EXPECT_EQ(Ask(fw, CM_MCS_RESET(0)), ack);
    for (const auto& p : fw.State().presets) {
        EXPECT_EQ(p, Settings::Factory());
    }
    EXPECT_EQ(fw.State().switchOn, 0);
}

TEST(Firmware, IapResetIsAcknowledgedAndRequestsTheBootLoaderOnce)
{
    Firmware fw;
    EXPECT_FALSE(fw.TakeBootLoaderRequest());
    EXPECT_EQ(ToHex(fw.HandleFrame(CM_MCS_IAP_RESET(sub::kIapReset), 0)), R("01"));
    EXPECT_TRUE(fw.TakeBootLoaderRequest());
    EXPECT_FALSE(fw.TakeBootLoaderRequest());
}

TEST(Firmware, PollWithNothingToReportIsAcknowledged)
{
    Firmware fw;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ToHex(fw.HandleFrame(CM_MCS_POLLING(sub::kPoll), i * 100)), R("01"));
    }
}

}  // namespace
