// The simulated firmware refuses what the device would refuse. (What it
// accepts is checked end to end by the panel's tests.)
#include "Firmware.h"
#include "Hex.h"
#include "SimTestUtil.h"

#include <gtest/gtest.h>

using sim::DeviceState;
using sim::Firmware;

namespace {

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
    RefusedCase{"stereo_channel_05", "10 02 01 03 A2 00 05 10 03 00"},
    RefusedCase{"mic_command_stereo_channel", "10 02 01 03 A3 00 01 10 03 00"},
    RefusedCase{"line_source_5", "10 02 01 02 A1 05 10 03 00"},
    RefusedCase{"priority_flag_2", "10 02 01 03 A9 02 10 10 03 00"},
    RefusedCase{"mute_channel_08", "10 02 01 03 AE 01 08 10 03 00"},
    RefusedCase{"threshold_1", "10 02 01 02 B2 01 10 03 00"},
    RefusedCase{"hold_0", "10 02 01 02 B4 00 10 03 00"},
    RefusedCase{"save_factory_set", "10 02 01 03 AB 00 01 10 03 00"},
    RefusedCase{"mic_without_channel", "10 02 01 02 A3 00 10 03 00"},
    RefusedCase{"inquiry_gain_of_mic_channel", "10 02 01 03 AF 02 10 10 03 00"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
