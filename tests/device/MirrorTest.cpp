// The proof that the panel mirrors the device: after connecting to a device
// in a random state, whichever legal way it answers, every control shows
// that state.
#include "Choices.h"
#include "Entry.h"
#include "FullState.h"
#include "LCommProc.h"
#include "Mroutine.h"
#include "PanelFixture.h"
#include "PanelText.h"

#include <QRegularExpression>

#include <tuple>

class Mirror : public PanelFixture, public testing::WithParamInterface<std::tuple<std::uint32_t, const char*>> {};

TEST_P(Mirror, EveryControlShowsTheDeviceState)
{
    const auto [seed, answers] = GetParam();
    const std::optional<sim::Choices> choices = sim::Choices::Parse(answers);
    ASSERT_TRUE(choices);
    StartDevice();
    device_->SetChoices(*choices);
    device_->RandomiseState(seed);
    sim::DeviceState still = device_->State();
    still.live.manualDucking = false;  // ducking fades the levels: this test wants a state that stands still
    device_->SetState(still);
    ShowAndConnect();
    const sim::Settings& s = device_->State().live;
    for (int ch = 0; ch < 11; ++ch) {
        const int gain = ch < 5 ? s.stereoGain[ch] : s.micGain[ch - 5];
        const bool muted = ch < 5 ? s.stereoMute[ch] : s.micMute[ch - 5];
        const std::string level = muted ? "0 mute muted" : std::to_string(79 - gain) + " " + WholeDbLevelText(PositionToDb(gain));
        // The unmute report writes whole decibels, a gain report half ones:
        // the text is the form of whichever came last.
        const std::string halves = std::to_string(79 - gain) + " " + LevelText(PositionToDb(gain));
        const std::string shown = StripText(*w_, ch);
        EXPECT_TRUE(shown == std::to_string(gain) + " " + level ||
                    (!muted && *choices != sim::Choices{} && shown == std::to_string(gain) + " " + halves))
            << "channel " << ch << ": " << shown;
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
    if (*choices != sim::Choices{}) {
        return;  // what goes on the line after the 49 is the device's doing
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

INSTANTIATE_TEST_SUITE_P(RandomStates, Mirror,
                         testing::Values(std::tuple(1u, "own"), std::tuple(7u, "own"), std::tuple(42u, "own"),
                                         std::tuple(2026u, "rotated=13"), std::tuple(3u, "switch-on-elsewhere"),
                                         std::tuple(4u, "ack-for-nothing,polls-any-report"),
                                         std::tuple(5u, "settings-acked,busy=3"), std::tuple(6u, "late=9:1500"),
                                         std::tuple(8u, "held-reply"), std::tuple(9u, "random:11")));
