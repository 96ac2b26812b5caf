// What the user's actions send and show, against the simulated device: faders
// under the focus rule, typed levels, mute and priority panels, the ganged
// output pairs, the line source and ducking, what a slow line
// merges, presets, the switch-on setting and the factory default.
#include "ActionsFixture.h"

#include "Colors.h"
#include "Connection.h"
#include "DeviceConversation.h"
#include "LCommProc.h"
#include "Panel.h"
#include "Rhtrack.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <map>

namespace {

using Actions = ActionsFixture;

// A drag (the fader holds the focus) or a typed entry sends the new value;
// the box then shows what the device holds, in its unit, also when the fader
// was already there, and invalid text restores it from the fader. Rows run
// in order, each from where the one before left the device. (A move by the
// program sends nothing: the mirror test's frames of a whole read.)
TEST_F(Actions, DraggedOrTypedValueIsSentAndShown)
{
    Connect();
    TrhTrackBar *const mic = w_->tbMic[3], *const threshold = w_->tbThreshold, *const hold = w_->tbHoldTime;
    TrhTrackBar* const attenuation = w_->tbAttenuation;
    const std::map<TrhTrackBar*, QLineEdit*> boxes{
        {mic, w_->edMic[3]}, {threshold, w_->edThreshold}, {hold, w_->edHoldtime}, {attenuation, w_->edAttenuation}};
    const auto level = [](int p) { return Frame(0xA3, {static_cast<std::uint8_t>(p), 0x12}); };
    // typed: nullptr when dragged to `position`, or toward `dragTo` past its end
    // frame: "" when nothing is sent
    // shown: the box (none for the fades) and the fader's hint
    const struct { TrhTrackBar* fader; const char* typed; int position; std::string frame; const char* shown; int dragTo = -1000; } cases[] = {
        {mic, nullptr, 21, level(21), "-10.5dB -10.5"},
        {mic, nullptr, 0, level(0), "0dB 0", -1}, {mic, nullptr, 79, level(79), "mute mute", 80},
        {threshold, nullptr, 86, Frame(0xB2, {0x2B}), "927 927"},
        {threshold, nullptr, 2, Frame(0xB2, {127}), "2739 2739", 1},
        {threshold, nullptr, 127, Frame(0xB2, {2}), "43 43", 128},
        {attenuation, nullptr, 30, Frame(0xB3, {30}), "30 30"},
        {attenuation, nullptr, 79, Frame(0xB3, {79}), "79 79", 80},
        {hold, nullptr, 20, Frame(0xB4, {20}), "200 20"},
        {hold, nullptr, 100, Frame(0xB4, {100}), "1000 100", 101}, {hold, nullptr, 1, Frame(0xB4, {1}), "10 1", 0},
        {w_->tbFadeOut, nullptr, 7, Frame(0xB5, {7}), " 7"},
        {w_->tbFadeOut, nullptr, 63, Frame(0xB5, {63}), " 63", 64},
        {w_->tbFadeIn, nullptr, 0, Frame(0xB6, {0}), " 0", -1},
        // Each right output keeps its own last-sent position, in its own pair.
        {w_->tbMasterRight, nullptr, 30, Frame(0xA2, {30, 0x04}), " -15"},
        {w_->tbSubRight, nullptr, 79, Frame(0xA2, {79, 0x02}), " mute", 80},
        {mic, "-12.5db", 25, level(25), "-12.5dB -12.5"},
        {mic, "+3", 0, level(0), "0dB 0"},
        {mic, "0dB", 0, level(0), "0dB 0"},  // unchanged text is sent again
        {mic, "-6 dB", 0, "", "0dB 0"},
        {mic, "", 0, "", " 0"},
        // The step below a value between two; at and one past each end, also
        // where the fader is already there (the box then shows the clamped value).
        {threshold, "100.9", 125, Frame(0xB2, {4}), "86 86"},
        {threshold, "5000", 2, Frame(0xB2, {127}), "2739 2739"},
        {threshold, "2740", 2, Frame(0xB2, {127}), "2739 2739"}, {threshold, "2739", 2, Frame(0xB2, {127}), "2739 2739"},
        {threshold, "1.2.3", 127, Frame(0xB2, {2}), "43 43"}, {threshold, "42", 127, Frame(0xB2, {2}), "43 43"},
        {hold, "555", 55, Frame(0xB4, {55}), "550 55"},
        {hold, "10", 1, Frame(0xB4, {1}), "10 1"}, {hold, "9", 1, Frame(0xB4, {1}), "10 1"},
        {hold, "1000", 100, Frame(0xB4, {100}), "1000 100"}, {hold, "1001", 100, Frame(0xB4, {100}), "1000 100"},
        {hold, "1-2", 100, "", "1000 100"},
        {attenuation, "0", 0, Frame(0xB3, {0}), "0 0"}, {attenuation, "-1", 0, Frame(0xB3, {0}), "0 0"},
        {attenuation, "79", 79, Frame(0xB3, {79}), "79 79"}, {attenuation, "80", 79, Frame(0xB3, {79}), "79 79"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fader->objectName().toStdString() + " <- " + (c.typed ? c.typed : std::to_string(c.position)));
        const auto box = boxes.find(c.fader);
        ShowTab(w_->tabControl->isAncestorOf(c.fader) ? w_->tabControl : w_->tabPreferences);
        c.typed ? Enter(box->second, QString::fromUtf8(c.typed)) : Drag(c.fader, c.dragTo == -1000 ? c.position : c.dragTo);
        EXPECT_EQ(Sent(), c.frame.empty() ? Strings{} : Strings{c.frame});
        EXPECT_EQ(c.fader->Position(), c.position);
        EXPECT_EQ(((box != boxes.end() ? box->second->text() : "") + ' ' + c.fader->toolTip()).toStdString(), c.shown);
    }
    EXPECT_EQ(w_->LastSent[kLastMic1 + 2], 79) << "the last drag: an entry is not a fader move of the user";

    // Leaving a box discards what was typed into it.
    Focus(w_->edAttenuation);
    w_->edAttenuation->setText(QStringLiteral("77"));
    FocusElsewhere();
    EXPECT_EQ(w_->edAttenuation->text(), "79");
}

// Mute and unmute of an input: the bar and text at once (the level as heard,
// ducking included), then the command.
TEST_F(Actions, MutePanelShowsTheLevelAtOnceAndSends)
{
    Connect();
    // mic 0: the line.
    const struct { int mic, fader; bool muted, manualDucking, duckingActive, priority; int attenuation, bar; const char* text;
                   std::string frame; } cases[] = {
        {2, 10, false, false, false, false, 20, 0, "mute", Frame(0xAE, {1, 0x11})},
        {2, 10, true, true, false, false, 20, 49, "-15dB", Frame(0xAE, {0, 0x11})},   // manual ducking
        {2, 10, true, false, true, false, 20, 49, "-15dB", Frame(0xAE, {0, 0x11})},   // reported ducking
        {2, 10, true, true, false, true, 20, 69, "-5dB", Frame(0xAE, {0, 0x11})},     // priority: not ducked
        {6, 70, true, true, false, false, 20, 0, "mute", Frame(0xAE, {0, 0x15})},     // ducked below the scale
        {0, 10, false, true, false, false, 20, 0, "mute", Frame(0xAE, {1, 0x00})},
        {0, 10, true, true, false, false, 30, 39, "-24dB", Frame(0xAE, {0, 0x00})},   // the line is always ducked
        {0, 10, true, false, false, false, 30, 69, "-5dB", Frame(0xAE, {0, 0x00})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mic " << c.mic << " muted " << c.muted << " frame " << c.frame);
        Resync([&](sim::DeviceState& s) {
            (c.mic > 0 ? s.live.micGain[c.mic - 1] : s.live.stereoGain[0]) = static_cast<std::uint8_t>(c.fader);
            (c.mic > 0 ? s.live.micMute[c.mic - 1] : s.live.stereoMute[0]) = c.muted;
            s.live.priority[std::max(c.mic, 1) - 1] = c.priority;
            s.live.manualDucking = c.manualDucking;
            s.live.attenuation = static_cast<std::uint8_t>(c.attenuation);
        });
        TPanel* panel = c.mic > 0 ? w_->Panel[c.mic] : w_->btnLine;
        ASSERT_EQ(IsPressed(panel), c.muted);
        w_->DuckingActive = c.duckingActive;
        QTest::mouseClick(panel, Qt::LeftButton);
        // Before any reply is handled: this is the click's own doing.
        EXPECT_EQ(IsPressed(panel), !c.muted);
        EXPECT_EQ((c.mic > 0 ? w_->pgbMic[c.mic] : w_->pgbLine)->value(), c.bar);
        EXPECT_EQ((c.mic > 0 ? w_->edMic[c.mic] : w_->edLine)->text().toStdString(), c.text);
        EXPECT_EQ(Sent(), Strings{c.frame});
    }
}

// The priority lamp goes olive when priority is taken, and lights only when
// it is given up while the device reports ducking in effect.
TEST_F(Actions, PriorityPanelSetsTheLampButNotTheLevel)
{
    Connect();
    const struct { bool priority, duckingActive; TColor lampBefore, lampAfter; } cases[] = {
        {false, true, clYellow, clOlive}, {false, false, clOlive, clOlive}, {true, true, clOlive, clYellow}, {true, false, clYellow, clYellow}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "priority " << c.priority << " ducking " << c.duckingActive);
        Resync([&](sim::DeviceState& s) { s.live.priority[1] = c.priority; });
        w_->DuckingActive = c.duckingActive;
        w_->panduck[2]->SetColor(c.lampBefore);
        const int bar = w_->pgbMic[2]->value();
        QTest::mouseClick(w_->btnduck[2], Qt::LeftButton);
        EXPECT_EQ(IsPressed(w_->btnduck[2]), !c.priority);
        EXPECT_EQ(w_->panduck[2]->Color(), c.lampAfter);
        EXPECT_EQ(w_->pgbMic[2]->value(), bar);
        EXPECT_EQ(Sent(), Strings{Frame(0xA9, {static_cast<std::uint8_t>(!c.priority), 0x11})});
    }
}

// A ganged pair follows its left fader at the offset it had when ganged, on
// the screen as on the device; nothing is ever sent for the right output,
// and mute covers both. The device reports the left output only: the right
// one is asked for after each change (AF 02 02 its gain, AF 07 02 its mute).
TEST_F(Actions, GangedPairFollowsItsLeftFader)
{
    Connect();
    const auto sub = [](int p) { return Frame(0xA2, {static_cast<std::uint8_t>(p), 0x01}); };
    const std::string rightGain = Frame(0xAF, {0x02, 0x02}), rightMute = Frame(0xAF, {0x07, 0x02});
    const auto positions = [&] { return std::pair{w_->tbSubLeft->Position(), w_->tbSubRight->Position()}; };
    const auto gang = [&](int left, int right, bool leftMuted, bool rightMuted) {
        Resync([&](sim::DeviceState& s) {
            s.live.stereoGain[1] = static_cast<std::uint8_t>(left);
            s.live.stereoGain[2] = static_cast<std::uint8_t>(right);
            s.live.stereoMute[1] = leftMuted;
            s.live.stereoMute[2] = rightMuted;
        });
        QTest::mouseClick(w_->btnSubGanged, Qt::LeftButton);
        // One side muted: ganging mutes both, so both are asked for.
        const Strings joined{Frame(0xAA, {1, 0x01})}, asked{joined[0], Frame(0xAF, {0x07, 0x01}), rightMute};
        ASSERT_EQ(Sent(), leftMuted == rightMuted ? joined : asked);
    };
    gang(10, 20, false, false);
    Drag(w_->tbSubLeft, 15);
    EXPECT_EQ(positions(), std::pair(15, 25));
    EXPECT_EQ(Sent(), (Strings{sub(15), rightGain}));
    Drag(w_->tbSubLeft, 72);  // the right one reaches mute: the left stops at the offset
    EXPECT_EQ(positions(), std::pair(69, 79));
    EXPECT_EQ(Sent(), (Strings{sub(72), rightGain, sub(69), rightGain}));
    EXPECT_EQ(w_->LastSent[kLastSubRight], 79);
    Enter(w_->edSubLeft, QStringLiteral("-10"));
    EXPECT_EQ(positions(), std::pair(20, 30)) << "a typed level moves the right where the device puts it";
    EXPECT_EQ(Sent(), (Strings{sub(20), rightGain}));
    EXPECT_EQ(device_->State().live.stereoGain[2], 30);

    gang(30, 20, false, false);
    Drag(w_->tbSubLeft, 5);  // the right one reaches the top
    EXPECT_EQ(positions(), std::pair(10, 0));
    EXPECT_EQ(Sent(), (Strings{sub(5), rightGain, sub(10), rightGain}));

    gang(10, 25, true, false);
    QTest::mouseClick(w_->btnSubL, Qt::LeftButton);
    EXPECT_EQ(w_->pgbSubLeft->value(), 69);
    EXPECT_EQ(w_->pgbSubRight->value(), 54);
    EXPECT_EQ(w_->edSubRight->text(), "-12dB") << "whole decibels";
    EXPECT_EQ(w_->edSubLeft->text(), "mute") << "the left box waits for the device";
    EXPECT_EQ(Sent(), (Strings{Frame(0xAE, {0, 0x01}), rightMute}));
    QTest::mouseClick(w_->btnSubL, Qt::LeftButton);
    EXPECT_EQ(w_->pgbSubRight->value(), 0);
    EXPECT_EQ(w_->edSubRight->text(), "mute");
    EXPECT_EQ(Sent(), (Strings{Frame(0xAE, {1, 0x01}), rightMute}));
    QTest::mouseClick(w_->btnSubGanged, Qt::LeftButton);  // unganged with the left muted
    EXPECT_FALSE(w_->btnSubR->isHidden());
    EXPECT_TRUE(IsPressed(w_->btnSubR));
    EXPECT_TRUE(w_->tbSubRight->isEnabled());
    EXPECT_EQ(w_->btnSubL->x(), w_->edSubLeft->x());
    EXPECT_EQ(Sent(), Strings{Frame(0xAA, {0, 0x01})});

    // Unganged, the right mute touches only its own strip.
    const int leftBar = w_->pgbMasterLeft->value();
    QTest::mouseClick(w_->btnMasterR, Qt::LeftButton);
    EXPECT_EQ(std::pair(w_->pgbMasterLeft->value(), w_->pgbMasterRight->value()), std::pair(leftBar, 0));
    EXPECT_FALSE(IsPressed(w_->btnMasterL));
    EXPECT_EQ(Sent(), Strings{Frame(0xAE, {1, 0x04})});
}

TEST_F(Actions, SourceAndManualDuckingWaitForTheDevicesReport)
{
    Connect();
    // lamp: lit afterwards, -1 when no lamp is concerned
    const struct { QWidget* control; std::string frame; int lamp; bool manual; } cases[] = {
        {w_->btnType, Frame(0xA1, {2}), 1, false}, {w_->btnCD, Frame(0xA1, {3}), 2, false},
        {w_->btnAux, Frame(0xA1, {4}), 3, false},  {w_->btnOff, Frame(0xA1, {0}), 4, false},
        {w_->btnTuner, Frame(0xA1, {1}), 0, false},
        // Manual ducking toggles from its panel and from both its labels.
        {w_->lblManual, Frame(0xA8, {2}), -1, true}, {w_->Label48, Frame(0xA8, {0}), -1, false},
        {w_->panMaunduck, Frame(0xA8, {2}), -1, true},
    };
    const auto lamps = [&](int on) {
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(w_->LinePanel[i]->Color(), i == on ? clLime : clGreen) << "lamp " << i;
        }
    };
    int lit = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.control->objectName().toStdString());
        QTest::mouseClick(c.control, Qt::LeftButton);
        lamps(lit);  // the click itself changes no lamp
        EXPECT_EQ(IsPressed(w_->panMaunduck), c.manual);
        EXPECT_EQ(Sent(), Strings{c.frame});
        lit = c.lamp < 0 ? lit : c.lamp;
        lamps(lit);
        EXPECT_EQ(device_->State().live.manualDucking, c.manual);
    }
}

// On a slow line (9600 baud: about 20 ms an exchange) a burst of fader
// moves made while the device has not answered leaves only its latest
// position waiting, and a source choice made in the middle is never lost.
TEST_F(Actions, SlowLineMergesAFadersBurstButNoClick)
{
    sim::SimOptions slow;
    slow.wireSpeed = true;
    Connect(slow);
    TrhTrackBar* fader = w_->tbMic[3];
    Focus(fader);
    fader->SetPosition(21);  // out at once; the rest is submitted during its round trip
    ASSERT_TRUE(w_->Device().Line()->IsBusy());
    for (int p = 22; p <= 60; ++p) {
        fader->SetPosition(p);
        if (p == 40) {
            w_->btnCD->click();
        }
    }
    EXPECT_EQ(w_->Device().Engine()->Waiting(), 2u) << "one merged position, then the source";
    EXPECT_EQ(Sent(), (Strings{Frame(0xA3, {21, 0x12}), Frame(0xA3, {60, 0x12}), Frame(0xA1, {3})}));
    EXPECT_EQ(device_->State().live.micGain[2], 60);

    // Clicked twice while busy (a source choice holds the line): a control's
    // change is replaced by the next, a choice goes out as often as made.
    for (QWidget* button : {static_cast<QWidget*>(w_->btnSubGanged), static_cast<QWidget*>(w_->btnCD)}) {
        w_->btnTuner->click();
        ASSERT_TRUE(w_->Device().Line()->IsBusy());
        QTest::mouseClick(button, Qt::LeftButton);
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(Sent(), button == w_->btnCD ? (Strings{Frame(0xA1, {1}), Frame(0xA1, {3}), Frame(0xA1, {3})})
                                              : (Strings{Frame(0xA1, {1}), Frame(0xAA, {0, 0x01})}));
    }
}

// A switch-on panel sends only a new choice; the state the device reports is
// shown beside the remembered choice but does not replace it.
TEST_F(Actions, SwitchOnSendsOnlyANewChoice)
{
    Connect();
    ShowTab(w_->tabCOM);
    // The pressed look of swOff, swPreset1..3 after each click; `reports3`:
    // the device reports preset 3 before it.
    const struct { TPanel* panel; const char* look; Strings sent; bool reports3 = false; } clicks[] = {
        {w_->swOff, "1000", {Frame(0xB7, {0})}},  // sent although it looked pressed: nothing was chosen yet
        {w_->swOff, "0000", {}}, {w_->swOff, "1000", {}}, {w_->swPreset[2], "0010", {Frame(0xB7, {2})}},
        {w_->swPreset[2], "0011", {}, true}, {w_->swPreset[3], "0001", {Frame(0xB7, {3})}},
    };
    for (const auto& c : clicks) {
        SCOPED_TRACE(c.panel->objectName().toStdString() + " -> " + c.look);
        if (c.reports3) {
            Resync([](sim::DeviceState& s) { s.switchOn = 3; });
        }
        QTest::mouseClick(c.panel, Qt::LeftButton);
        std::string look;
        for (TPanel* p : {w_->swOff, w_->swPreset[1], w_->swPreset[2], w_->swPreset[3]}) {
            look += IsPressed(p) ? '1' : '0';
        }
        EXPECT_EQ(look, c.look);
        EXPECT_EQ(Sent(), c.sent);
    }
    EXPECT_EQ(device_->State().switchOn, 3);
}

// A load reads the whole state again; so does a factory default, which asks
// first: only an OK resets the presets (the question's language is the
// language tests' concern).
TEST_F(Actions, LoadingAPresetOrTheFactoryDefaultRereadsTheWholeState)
{
    Connect();
    Resync([](sim::DeviceState& s) {
        s.presets[0].micGain[0] = 70;
        s.presets[2].micGain[0] = 44;
    });
    const sim::Settings before = device_->State().presets[0];
    w_->cbPresetNo->setCurrentIndex(2);
    QTest::mouseClick(w_->btnLoad, Qt::LeftButton);
    EXPECT_EQ(Sent(), FullStateFrames({Frame(0xAB, {3, 0})}));
    EXPECT_EQ(w_->tbMic[1]->Position(), 44);
    ShowTab(w_->tabCOM);
    for (const TDialogs::Answer answer : {TDialogs::Answer::Cancel, TDialogs::Answer::Ok}) {
        const bool ok = answer == TDialogs::Answer::Ok;
        SCOPED_TRACE(ok);
        dialogs_->asked.clear();
        dialogs_->answers = {answer};
        QTest::mouseClick(w_->btnFactory, Qt::LeftButton);
        ASSERT_EQ(dialogs_->asked.size(), 1u);
        EXPECT_EQ(dialogs_->asked[0].kind, "WarningOkCancel");
        EXPECT_EQ(dialogs_->asked[0].text, "All Preset will be delete !! \nDo you want to continue?");
        EXPECT_EQ(Sent(), ok ? FullStateFrames({Frame(0xB8, {0}), Frame(0xAB, {0, 0})}) : Strings{});
        EXPECT_EQ(device_->State().presets[0], ok ? sim::Settings::Factory() : before);
    }
}

}  // namespace
