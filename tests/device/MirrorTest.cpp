// The proof that the panel mirrors the device: after connecting to a device
// in a random state, every control shows that state.
#include "DeviceState.h"
#include "Entry.h"
#include "Mroutine.h"
#include "Panel.h"
#include "PanelFixture.h"
#include "Rhtrack.h"

#include <QLineEdit>
#include <QProgressBar>

#include <algorithm>

namespace {

class Mirror : public PanelFixture, public testing::WithParamInterface<std::uint32_t> {};

struct Strip {
    const char* name;
    TrhTrackBar* fader;
    QProgressBar* bar;
    QLineEdit* edit;
    TPanel* mute;
    std::uint8_t gain;
    bool muted;
    int attenuation;  // taken off the bar when unmuted
};

void ExpectStrip(const Strip& s)
{
    SCOPED_TRACE(s.name);
    EXPECT_EQ(s.fader->Position(), s.gain);
    EXPECT_EQ(IsPressed(s.mute), s.muted);
    if (s.muted) {
        EXPECT_EQ(s.bar->value(), 0);
        EXPECT_EQ(s.edit->text(), "mute");
    } else {
        const int bar = std::max(0, 79 - s.gain - s.attenuation);
        EXPECT_EQ(s.bar->value(), bar);
        EXPECT_EQ(s.edit->text().toStdString(), WholeDbLevelText(PositionToDb(79 - bar)));
    }
}

TEST_P(Mirror, EveryControlShowsTheDeviceState)
{
    StartDevice();
    device_->RandomiseState(GetParam());
    // Ducking changes the levels over time (fades), which the device then
    // reports on its own; this test wants a state that stands still.
    sim::DeviceState still = device_->State();
    still.live.manualDucking = false;
    device_->SetState(still);
    ShowAndConnect();
    const sim::DeviceState state = device_->State();
    const sim::Settings& s = state.live;
    TfrmMain& w = *w_;

    const int att = 0;  // nothing is ducked
    ExpectStrip({"line", w.tbLine, w.pgbLine, w.edLine, w.btnLine, s.stereoGain[0], s.stereoMute[0], att});
    ExpectStrip({"sub left", w.tbSubLeft, w.pgbSubLeft, w.edSubLeft, w.btnSubL, s.stereoGain[1], s.stereoMute[1], 0});
    ExpectStrip({"sub right", w.tbSubRight, w.pgbSubRight, w.edSubRight, w.btnSubR, s.stereoGain[2], s.stereoMute[2], 0});
    ExpectStrip({"master left", w.tbMasterLeft, w.pgbMasterLeft, w.edMasterLeft, w.btnMasterL, s.stereoGain[3],
                 s.stereoMute[3], 0});
    ExpectStrip({"master right", w.tbMasterRight, w.pgbMasterRight, w.edMasterRight, w.btnMasterR, s.stereoGain[4],
                 s.stereoMute[4], 0});
    for (int n = 1; n <= 6; ++n) {
        const std::string name = "mic " + std::to_string(n);
        const bool prior = s.priority[n - 1];
        ExpectStrip({name.c_str(), w.tbMic[n], w.pgbMic[n], w.edMic[n], w.Panel[n], s.micGain[n - 1],
                     s.micMute[n - 1], prior ? 0 : att});
        EXPECT_EQ(IsPressed(w.btnduck[n]), prior) << name;
    }

    const int lit = s.lineSource >= 1 && s.lineSource <= 4 ? s.lineSource - 1 : 4;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(w.LinePanel[i]->Color(), i == lit ? clLime : clGreen) << "line lamp " << i;
    }
    EXPECT_EQ(w.SubGanged, s.subGanged);
    EXPECT_EQ(IsPressed(w.btnSubGanged), s.subGanged);
    EXPECT_EQ(w.btnSubR->isHidden(), s.subGanged);
    EXPECT_EQ(w.tbSubRight->isEnabled(), !s.subGanged);
    EXPECT_EQ(w.MasterGanged, s.masterGanged);
    EXPECT_EQ(IsPressed(w.btnMasterGanged), s.masterGanged);
    EXPECT_EQ(w.btnMasterR->isHidden(), s.masterGanged);
    EXPECT_EQ(IsPressed(w.panMaunduck), s.manualDucking);
    EXPECT_FALSE(w.DuckingActive);
    EXPECT_EQ(w.palActDuck->Color(), clOlive);

    EXPECT_EQ(w.tbThreshold->Position(), 129 - s.threshold);
    EXPECT_EQ(w.edThreshold->text(), QString::number(ThresholdMillivolts(s.threshold)));
    EXPECT_EQ(w.tbAttenuation->Position(), s.attenuation);
    EXPECT_EQ(w.edAttenuation->text(), QString::number(s.attenuation));
    EXPECT_EQ(w.tbHoldTime->Position(), s.holdTime);
    EXPECT_EQ(w.edHoldtime->text(), QString::number(s.holdTime * 10));
    EXPECT_EQ(w.tbFadeOut->Position(), s.fadeOut);
    EXPECT_EQ(w.tbFadeIn->Position(), s.fadeIn);

    EXPECT_EQ(IsPressed(w.swOff), state.switchOn == 0);
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(IsPressed(w.swPreset[n]), state.switchOn == n) << "switch-on " << n;
    }
    // Nothing the panel did while reading was sent back to the device.
    for (const auto& frame : ReceivedNoPolls()) {
        EXPECT_TRUE(frame.size() > 4 && (frame[4] == 0xAF || frame[4] == 0xBF)) << "only inquiries";
    }
}

INSTANTIATE_TEST_SUITE_P(RandomStates, Mirror, testing::Values(1u, 7u, 42u, 2026u));

}  // namespace
