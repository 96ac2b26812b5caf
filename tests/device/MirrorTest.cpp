// The proof that the panel mirrors the device: after connecting to a device
// in a random state, every control shows that state.
#include "Entry.h"
#include "FullState.h"
#include "LCommProc.h"
#include "Mroutine.h"
#include "PanelFixture.h"
#include "PanelText.h"

#include <tuple>

class Mirror : public PanelFixture, public testing::WithParamInterface<std::uint32_t> {};

TEST_P(Mirror, EveryControlShowsTheDeviceState)
{
    StartDevice();
    device_->RandomiseState(GetParam());
    sim::DeviceState still = device_->State();
    still.live.manualDucking = false;  // ducking fades the levels: this test wants a state that stands still
    device_->SetState(still);
    ShowAndConnect();
    const sim::Settings& s = device_->State().live;
    for (int ch = 0; ch < 11; ++ch) {
        const int gain = ch < 5 ? s.stereoGain[ch] : s.micGain[ch - 5];
        const bool muted = ch < 5 ? s.stereoMute[ch] : s.micMute[ch - 5];
        const std::string level = muted ? "0 mute muted" : std::to_string(79 - gain) + " " + WholeDbLevelText(PositionToDb(gain));
        EXPECT_EQ(StripText(*w_, ch), std::to_string(gain) + " " + level) << "channel " << ch;
    }
    for (int n = 1; n <= 6; ++n) {
        EXPECT_EQ(IsPressed(w_->btnduck[n]), s.priority[n - 1]) << "priority " << n;
    }
    std::string source = "ggggg";
    source[s.lineSource >= 1 && s.lineSource <= 4 ? s.lineSource - 1 : 4] = 'L';
    EXPECT_EQ(Lamps(w_->LinePanel, 0, 4), source);
    for (const auto& [ganged, flag, button, right] : {std::tuple{s.subGanged, w_->SubGanged, w_->btnSubGanged, w_->btnSubR},
                                                      std::tuple{s.masterGanged, w_->MasterGanged, w_->btnMasterGanged, w_->btnMasterR}}) {
        EXPECT_EQ(flag && IsPressed(button) && right->isHidden(), ganged);
        EXPECT_EQ(flag || IsPressed(button) || right->isHidden(), ganged);
    }
    EXPECT_EQ(w_->tbSubRight->isEnabled(), !s.subGanged);
    EXPECT_EQ(IsPressed(w_->panMaunduck), s.manualDucking);
    EXPECT_EQ(w_->tbThreshold->Position(), 129 - s.threshold);
    EXPECT_EQ(w_->edThreshold->text(), QString::number(ThresholdMillivolts(s.threshold)));
    EXPECT_EQ(w_->tbAttenuation->Position(), s.attenuation);
    EXPECT_EQ(w_->edAttenuation->text(), QString::number(s.attenuation));
    EXPECT_EQ(w_->tbHoldTime->Position(), s.holdTime);
    EXPECT_EQ(w_->edHoldtime->text(), QString::number(s.holdTime * 10));
    EXPECT_EQ(w_->tbFadeOut->Position(), s.fadeOut);
    EXPECT_EQ(w_->tbFadeIn->Position(), s.fadeIn);
    const auto state = device_->State();
    for (int n = 0; n <= 3; ++n) {
        EXPECT_EQ(IsPressed(n ? w_->swPreset[n] : w_->swOff), state.switchOn == n) << "switch-on " << n;
    }
    // Nothing the panel did while reading went back to the device: the
    // inquiries in order, then polls; the log holds each inquiry and report.
    const auto frames = device_->Received();
    const auto inquiries = FullStateInquiries();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i], i < inquiries.size() ? inquiries[i].MakeFrame(1) : LCommProc::PollFrame()) << i;
    }
    const QStringList log = LogLines();
    EXPECT_EQ(log.value(0), "-> [AF] 01 00");
    EXPECT_EQ(log.filter(QRegularExpression("^-> \\[(AF|BF)\\] ")).size(), 49);
    EXPECT_EQ(log.filter(QRegularExpression("^<- \\[.*\\(\\d+\\)$")).size(), 49);
    EXPECT_EQ(log.size(), 98) << "no ACK or poll logged";
}

INSTANTIATE_TEST_SUITE_P(RandomStates, Mirror, testing::Values(1u, 7u, 42u, 2026u));
