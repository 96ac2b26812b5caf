// The 49 inquiries that the panel sends after connecting must, through their
// replies alone, tell the panel every item it shows.
#include "Commands.h"
#include "Firmware.h"
#include "Reports.h"
#include "SimDevice.h"

#include <gtest/gtest.h>
#include <optional>

using sim::DeviceState;

namespace {

// The panel's full-state request, in its order.
std::vector<LCmd> FullStateInquiries()
{
    std::vector<LCmd> q;
    q.push_back(CM_MCS_INQUIRY(0x01, 0x00));
    q.push_back(CM_MCS_INQUIRY_DX(0x03));
    q.push_back(CM_MCS_INQUIRY(0x04));
    for (std::uint8_t ch = 0; ch <= 4; ++ch) q.push_back(CM_MCS_INQUIRY(0x02, ch));
    for (std::uint8_t ch = 0x10; ch <= 0x15; ++ch) q.push_back(CM_MCS_INQUIRY(0x03, ch));
    for (std::uint8_t ch = 0x10; ch <= 0x15; ++ch) q.push_back(CM_MCS_INQUIRY(0x05, ch));
    q.push_back(CM_MCS_INQUIRY(0x06, 0x01));
    q.push_back(CM_MCS_INQUIRY(0x06, 0x02));
    for (std::uint8_t ch = 0; ch <= 4; ++ch) q.push_back(CM_MCS_INQUIRY(0x07, ch));
    for (std::uint8_t ch = 0x10; ch <= 0x15; ++ch) q.push_back(CM_MCS_INQUIRY(0x07, ch));
    q.push_back(CM_MCS_INQUIRY_DX(0x00));
    for (std::uint8_t x = 0; x <= 3; ++x) q.push_back(CM_MCS_INQUIRY_DX(0x01, x));
    for (std::uint8_t ch = 0x10; ch <= 0x15; ++ch) q.push_back(CM_MCS_INQUIRY_DX(0x02, ch));
    for (std::uint8_t p = 4; p <= 8; ++p) q.push_back(CM_MCS_INQUIRY_DX(p));
    return q;
}

// What the panel learns, report by report, keyed by sub byte only (it never
// pairs a report with the command that drew it).
struct PanelView {
    std::array<std::optional<int>, 5> stereoGain;
    std::array<std::optional<int>, 6> micGain;
    std::array<std::optional<bool>, 5> stereoMute;
    std::array<std::optional<bool>, 6> micMute;
    std::array<std::optional<bool>, 6> priority;
    std::optional<int> lineSource, duckState, threshold, attenuation, hold, fadeOut, fadeIn, switchOn;
    std::optional<bool> subGanged, masterGanged;
    int polls = 0;  // reports that the panel answers with a poll

    void Apply(const LCmd& r)
    {
        const auto& p = r.Payload();
        const int b0 = p.size() > 0 ? p[0] : -1;
        const int b1 = p.size() > 1 ? p[1] : -1;
        switch (r.Sub()) {
        case 0xC1: lineSource = b0; break;
        case 0xC2: if (b1 >= 0 && b1 <= 4) stereoGain[b1] = b0; break;
        case 0xC3: if (b1 >= 0x10 && b1 <= 0x15) micGain[b1 - 0x10] = b0; break;
        case 0xC4: case 0xC5: ++polls; break;
        case 0xC8: duckState = b0; ++polls; break;
        case 0xC9: if (b1 >= 0x10 && b1 <= 0x15) priority[b1 - 0x10] = b0 == 1; break;
        case 0xCA: if (b1 == 1) subGanged = b0 != 0; if (b1 == 2) masterGanged = b0 != 0; break;
        case 0xCE:
            if (b1 >= 0 && b1 <= 4) stereoMute[b1] = b0 != 0;
            if (b1 >= 0x10 && b1 <= 0x15) micMute[b1 - 0x10] = b0 != 0;
            break;
        case 0xD2: threshold = b0; break;
        case 0xD3: attenuation = b0; break;
        case 0xD4: hold = b0; break;
        case 0xD5: fadeOut = b0; break;
        case 0xD6: fadeIn = b0; break;
        case 0xD7: switchOn = b0 & 3; break;
        default: break;
        }
    }
};

TEST(FullState, FortyNineInquiriesInThePanelsOrder)
{
    const auto q = FullStateInquiries();
    ASSERT_EQ(q.size(), 49u);
    EXPECT_EQ(q.front().MakeFrame(1), (ByteVector{0x10, 0x02, 0x01, 0x03, 0xAF, 0x01, 0x00, 0x10, 0x03, 0xAD}));
}

class FullState : public testing::TestWithParam<std::uint32_t> {};

TEST_P(FullState, RepliesReportEveryItemThePanelShows)
{
    const DeviceState state = DeviceState::Random(GetParam());
    sim::SimDevice device(state);
    PanelView view;
    for (const auto& inquiry : FullStateInquiries()) {
        const ByteVector frame = inquiry.MakeFrame(1);
        const auto replies = device.Receive(frame.data(), frame.size(), 0);
        ASSERT_EQ(replies.size(), 1u) << "exactly one reply per frame";
        ASSERT_TRUE(IsFramed(replies[0].bytes));
        const LCmd reply(replies[0].bytes);
        EXPECT_TRUE(reply.Sub() == 0x01 || IsRecognisedReport(reply.Sub())) << std::hex << int(reply.Sub());
        EXPECT_NE(reply.Sub(), 0xE1) << "an inquiry of the panel was refused";
        EXPECT_NE(reply.Sub(), 0xC4);
        EXPECT_NE(reply.Sub(), 0xC5);
        view.Apply(reply);
    }
    const auto& live = state.live;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(view.stereoGain[i], live.stereoGain[i]) << i;
        EXPECT_EQ(view.stereoMute[i], live.stereoMute[i]) << i;
    }
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(view.micGain[i], live.micGain[i]) << i;
        EXPECT_EQ(view.micMute[i], live.micMute[i]) << i;
        EXPECT_EQ(view.priority[i], live.priority[i]) << i;
    }
    EXPECT_EQ(view.lineSource, live.lineSource);
    EXPECT_EQ(view.subGanged, live.subGanged);
    EXPECT_EQ(view.masterGanged, live.masterGanged);
    EXPECT_EQ(view.duckState, live.manualDucking ? 2 : 0);
    EXPECT_EQ(view.threshold, live.threshold);
    EXPECT_EQ(view.attenuation, live.attenuation);
    EXPECT_EQ(view.hold, live.holdTime);
    EXPECT_EQ(view.fadeOut, live.fadeOut);
    EXPECT_EQ(view.fadeIn, live.fadeIn);
    EXPECT_EQ(view.switchOn, state.switchOn);
    EXPECT_EQ(view.polls, 1) << "only the ducking-state inquiry draws a report the panel polls after";
    EXPECT_EQ(device.Received().size(), 49u);
}

INSTANTIATE_TEST_SUITE_P(Seeds, FullState, testing::Values(1u, 2u, 3u, 42u, 1234u));

}  // namespace
