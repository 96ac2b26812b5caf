// What assistive technology sees of the panel and what the keyboard can do,
// read through Qt's accessibility API (the layer AT-SPI and UI Automation
// are fed from), against the real window and the simulated device.
#include "Commands.h"
#include "Fmsg.h"
#include "FullState.h"
#include "Hex.h"
#include "Language.h"
#include "Panel.h"
#include "PanelAccessible.h"
#include "PanelFixture.h"
#include "RadioGroup.h"
#include "Rhtrack.h"
#include "UnlURLLabel.h"
#include "WaitFor.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <functional>
#include <map>
#include <vector>

void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

QAccessibleInterface* Iface(QObject* object)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    EXPECT_NE(iface, nullptr) << object->objectName().toStdString();
    return iface;
}

QString NameOf(QObject* object)
{
    // On Unix Qt reports a combo box's current item as its name and leaves
    // the caption to its "labelled by" relation (checked on its own below);
    // the name set on the widget is what other platforms read.
    if (auto* combo = qobject_cast<QComboBox*>(object)) {
        return combo->accessibleName();
    }
    QAccessibleInterface* iface = Iface(object);
    return iface != nullptr ? iface->text(QAccessible::Name) : QString();
}

QString ValueOf(QObject* object)
{
    QAccessibleInterface* iface = Iface(object);
    return iface != nullptr ? iface->text(QAccessible::Value) : QString();
}

QAccessible::State StateOf(QObject* object)
{
    QAccessibleInterface* iface = Iface(object);
    return iface != nullptr ? iface->state() : QAccessible::State();
}

std::string Id(const QObject* o)
{
    return o->objectName().toStdString();
}

std::string Frame(const LCmd& command)
{
    return ToHex(command.MakeFrame(frame::kModeFramed));
}

// Group boxes that the window lays out without a caption: plain containers.
bool IsUncaptionedGroup(const QObject* o)
{
    const auto* group = qobject_cast<const QGroupBox*>(o);
    return group != nullptr && group->title().isEmpty() && group->accessibleName().isEmpty();
}

// Everything a screen reader lists for the window: its components, the
// radio buttons of its radio groups, and the message window's controls.
std::vector<QWidget*> Everything(TfrmMain& w)
{
    std::vector<QWidget*> all;
    for (QObject* c : w.Components()) {
        all.push_back(static_cast<QWidget*>(c));
    }
    for (TRadioGroup* group : {w.rgProtocol, w.rdgLanguage}) {
        for (int i = 0; i < group->Count(); ++i) {
            all.push_back(group->Button(i));
        }
    }
    return all;
}

// Every control has a name, and no two controls (labels aside: a caption
// may read like the control it captions) share one.
void ExpectNamedAndUnique(TfrmMain& w)
{
    std::map<QString, std::string> seen;
    for (QWidget* c : Everything(w)) {
        if (IsUncaptionedGroup(c)) {
            continue;
        }
        const QString name = NameOf(c);
        EXPECT_FALSE(name.trimmed().isEmpty()) << Id(c) << " has no name";
        if (qobject_cast<QLabel*>(c) != nullptr) {
            continue;
        }
        const auto [it, fresh] = seen.emplace(name, Id(c));
        EXPECT_TRUE(fresh) << Id(c) << " and " << it->second << " are both named \"" << name.toStdString() << '"';
    }
    std::map<QString, std::string> inLog;
    for (QWidget* c : {static_cast<QWidget*>(w.frmMsg->mmMsg), static_cast<QWidget*>(w.frmMsg->rbRXTX),
                       static_cast<QWidget*>(w.frmMsg->rbRXOnly)}) {
        const QString name = NameOf(c);
        EXPECT_FALSE(name.isEmpty()) << Id(c);
        EXPECT_TRUE(inLog.emplace(name, Id(c)).second) << Id(c);
    }
}

class Accessibility : public PanelFixture {
protected:
    void SetUp() override
    {
        PanelFixture::SetUp();
        SetLanguageFlag(kLanguageEnglish);
    }
    void TearDown() override
    {
        PanelFixture::TearDown();
        SetLanguageFlag(kLanguageEnglish);
    }
};

TEST_F(Accessibility, EveryControlIsNamedUniquely)
{
    BuildWindow();
    ExpectNamedAndUnique(*w_);
}

TEST_F(Accessibility, NamesSayStripOrGroupAndFunction)
{
    BuildWindow();
    TfrmMain& w = *w_;
    const std::vector<std::pair<QWidget*, QString>> cases = {
        {w.tbMic[3], "MIC 3 gain"},
        {w.pgbMic[3], "MIC 3 level"},
        {w.edMic[3], "MIC 3 gain in dB"},
        {w.Panel[3], "MIC 3 mute"},
        {w.btnduck[3], "MIC 3 priority"},
        {w.panduck[3], "MIC 3 ducking lamp"},
        {w.tbMic[6], "MIC 6 gain"},
        {w.tbLine, "Line gain"},
        {w.pgbLine, "Line level"},
        {w.btnLine, "Line mute"},
        {w.btnSubL, "Sub left mute"},
        {w.edSubRight, "Sub right gain in dB"},
        {w.btnSubGanged, "Sub ganged"},
        {w.btnMasterGanged, "Master ganged"},
        {w.pgbMasterRight, "Master right level"},
        {w.tbThreshold, "Threshold"},
        {w.edThreshold, "Threshold in mV"},
        {w.tbAttenuation, "Attenuation"},
        {w.edAttenuation, "Attenuation in steps"},
        {w.tbHoldTime, "Hold time"},
        {w.edHoldtime, "Hold time in ms"},
        {w.tbFadeOut, "Fade out"},
        {w.tbFadeIn, "Fade in"},
        {w.palActDuck, "Ducking active lamp"},
        {w.panMaunduck, "Manual ducking"},
        {w.swPreset[2], "Switch-on preset 2"},
        {w.swOff, "Switch-on as switched off"},
        {w.LinePanel[0], "Line source Tuner lamp"},
        {w.LinePanel[4], "Line source off lamp"},
        {w.cbPresetNo, "Preset number"},
        {w.cbCOM, "Port"},
        {w.cbParity, "Parity"},
        // Buttons and labels: their caption.
        {w.btnCD, "CD"},
        {w.btnLoad, "load"},
        {w.btnViewmessages, "view message"},
        {w.Label3, "MIC 3"},
        {w.lblThreadhold, "Threshold"},
        {w.rdgLanguage->Button(0), "German"},
        {w.frmMsg->rbRXOnly, "show rx only"},
    };
    for (const auto& [control, name] : cases) {
        EXPECT_EQ(NameOf(control), name) << Id(control);
    }
}

TEST_F(Accessibility, ControlsAreLabelledByTheirCaptions)
{
    BuildWindow();
    TfrmMain& w = *w_;
    const std::vector<std::pair<QWidget*, QLabel*>> cases = {
        {w.cbCOM, w.Label27},         {w.cbParity, w.lblParity},  {w.tbMic[2], w.Label2},
        {w.tbLine, w.Label7},         {w.tbFadeIn, w.lblDuckFadeIn}, {w.edThreshold, w.Label40},
        {w.palActDuck, w.Label10},
    };
    for (const auto& [control, label] : cases) {
        QAccessibleInterface* iface = Iface(control);
        ASSERT_NE(iface, nullptr);
        bool found = false;
        for (const auto& [other, relation] : iface->relations(QAccessible::Label)) {
            found = found || other->object() == label;
        }
        EXPECT_TRUE(found) << Id(control) << " is not labelled by " << Id(label);
    }
}

TEST_F(Accessibility, NamesFollowTheLanguage)
{
    BuildWindow();
    TfrmMain& w = *w_;
    struct Case {
        QWidget* control;
        QString english;
        QString german;
    };
    const std::vector<Case> cases = {
        {w.tbThreshold, "Threshold", "Ansprechschwelle"},
        {w.edAttenuation, "Attenuation in steps", "Daempfung in Stufen"},
        {w.edHoldtime, "Hold time in ms", "Haltezeit in ms"},
        {w.tbFadeOut, "Fade out", "Ausblenden"},
        {w.tbFadeIn, "Fade in", "Einblenden"},
        {w.swOff, "Switch-on as switched off", "Anschaltzustand wie ausgeschaltet"},
        {w.swPreset[1], "Switch-on preset 1", "Anschaltzustand preset 1"},
        {w.LinePanel[4], "Line source off lamp", "Line source aus lamp"},
        {w.panMaunduck, "Manual ducking", "manuelles ducking"},
        {w.cbBaudRate, "Speed", "Geschwindigkeit"},
        {w.cbDataBit, "Data bits", "Daten bits"},
        {w.cbPresetNo, "Preset number", "Voreinstellung number"},
        {w.tabControl, "Control-Panel", "Bedienfeld"},
        {w.btnConnect, "connect", "verbinden"},
        {w.btnOff, "off", "aus"},
        // Captions that stay English on screen stay English in the name.
        {w.tbMic[3], "MIC 3 gain", "MIC 3 gain"},
        {w.Panel[3], "MIC 3 mute", "MIC 3 mute"},
    };

    w.rdgLanguage->Button(0)->click(); // German
    ASSERT_EQ(LanguageFlag(), kLanguageGerman);
    for (const Case& c : cases) {
        EXPECT_EQ(NameOf(c.control), c.german) << Id(c.control);
    }
    ExpectNamedAndUnique(w);

    w.rdgLanguage->Button(1)->click(); // English
    for (const Case& c : cases) {
        EXPECT_EQ(NameOf(c.control), c.english) << Id(c.control);
    }
}

TEST_F(Accessibility, LatchingPanelIsACheckableButtonAndALampReportsLitOrDark)
{
    ShowAndConnect();
    TfrmMain& w = *w_;

    QAccessibleInterface* mute = Iface(w.Panel[3]);
    ASSERT_NE(mute, nullptr);
    EXPECT_EQ(mute->role(), QAccessible::Button);
    EXPECT_TRUE(mute->state().checkable);
    EXPECT_FALSE(mute->state().checked);
    QTest::mouseClick(w.Panel[3], Qt::LeftButton);
    ASSERT_TRUE(IsPressed(w.Panel[3]));
    EXPECT_TRUE(mute->state().checked);
    QTest::mouseClick(w.Panel[3], Qt::LeftButton);
    EXPECT_FALSE(mute->state().checked);
    // swOff starts pressed.
    EXPECT_TRUE(StateOf(w.swOff).checked);

    // Exactly one line-source lamp is lit, and it is the one the device reports.
    Settle();
    int lit = -1;
    for (int i = 0; i < 5; ++i) {
        QAccessibleInterface* lamp = Iface(w.LinePanel[i]);
        ASSERT_NE(lamp, nullptr);
        EXPECT_EQ(lamp->role(), QAccessible::Indicator);
        EXPECT_FALSE(lamp->state().checkable);
        EXPECT_FALSE(lamp->state().focusable);
        const QString value = lamp->text(QAccessible::Value);
        EXPECT_TRUE(value == "lit" || value == "dark") << value.toStdString();
        if (value == "lit") {
            EXPECT_EQ(lit, -1) << "two lamps lit";
            lit = i;
            EXPECT_EQ(w.LinePanel[i]->Color(), clLime);
        }
    }
    EXPECT_NE(lit, -1);
    QTest::mouseClick(w.btnCD, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return ValueOf(w.LinePanel[2]) == "lit"; }));
    EXPECT_EQ(ValueOf(w.LinePanel[0]), "dark");
    // The description says the same, for AT-SPI, which passes no text value on.
    EXPECT_EQ(Iface(w.LinePanel[2])->text(QAccessible::Description), "lit");
    EXPECT_EQ(Iface(w.LinePanel[0])->text(QAccessible::Description), "dark");
    EXPECT_EQ(ValueOf(w.palActDuck), "dark");
    // A latching panel has no value: its state says it all.
    EXPECT_EQ(ValueOf(w.Panel[3]), "");
}

TEST_F(Accessibility, DisabledControlsAreReportedDisabled)
{
    BuildWindow();
    w_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w_.get()));
    ASSERT_EQ(w_->Comm, nullptr); // no device: the panel stays disconnected
    for (QWidget* c : std::vector<QWidget*>{w_->tbMic[1], w_->edMic[1], w_->Panel[1], w_->btnduck[1],
                                            w_->panduck[1], w_->btnTuner, w_->swPreset[1], w_->btnDisconnect}) {
        EXPECT_TRUE(StateOf(c).disabled) << Id(c);
    }
    EXPECT_FALSE(StateOf(w_->btnConnect).disabled);
    EXPECT_FALSE(StateOf(w_->cbCOM).disabled);
}

// Space, Enter and the accessible toggle action do exactly what a click does.
TEST_F(Accessibility, KeysOnAFocusedPanelSendWhatAClickSends)
{
    ShowAndConnect();
    TfrmMain& w = *w_;
    // Every action here sends something. Wait for it before settling: with
    // manual ducking on, the device's ducking reports make the panel queue
    // extra polls, so a poll alone does not prove the line was idle.
    const auto act = [&](const std::function<void()>& action) {
        ClearReceived();
        action();
        WaitFor([&] { return !ReceivedHex().empty(); }, 3000);
        Settle();
        Settle();
        return ReceivedHex();
    };
    const auto click = [](TPanel* p) { return [p] { QTest::mouseClick(p, Qt::LeftButton); }; };
    const auto key = [](TPanel* p, Qt::Key k) {
        return [p, k] {
            p->setFocus(Qt::TabFocusReason);
            QTest::keyClick(p, k);
        };
    };

    for (TPanel* panel : {w.Panel[3], w.btnduck[2], w.btnLine, w.btnSubR, w.btnMasterGanged, w.panMaunduck}) {
        SCOPED_TRACE(Id(panel));
        const bool before = IsPressed(panel);
        const auto clickOn = act(click(panel));
        ASSERT_FALSE(clickOn.empty());
        ASSERT_NE(IsPressed(panel), before);
        const auto clickOff = act(click(panel));
        ASSERT_EQ(IsPressed(panel), before);

        EXPECT_EQ(act(key(panel, Qt::Key_Space)), clickOn);
        EXPECT_NE(IsPressed(panel), before);
        EXPECT_TRUE(panel->hasFocus());
        EXPECT_EQ(act(key(panel, Qt::Key_Return)), clickOff);
        EXPECT_EQ(IsPressed(panel), before);

        QAccessibleActionInterface* actions = Iface(panel)->actionInterface();
        ASSERT_NE(actions, nullptr);
        ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
        EXPECT_EQ(act([&] { actions->doAction(QAccessibleActionInterface::toggleAction()); }), clickOn);
        EXPECT_EQ(act(click(panel)), clickOff);
    }
    // What a click on MIC 3's mute panel sends, to be sure the comparison
    // above compared real frames.
    EXPECT_EQ(act(key(w.Panel[3], Qt::Key_Space)),
              std::vector<std::string>{Frame(CM_MCS_MUTE(1, channel::Mic(3)))});
    EXPECT_TRUE(IsPressed(w.Panel[3]));
}

TEST_F(Accessibility, HeldKeyAndModifiedKeysDoNotToggle)
{
    ShowAndConnect();
    TPanel* panel = w_->Panel[4];
    panel->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(WaitFor([&] { return panel->hasFocus(); }));
    ClearReceived();
    // The repeats of a held Space key.
    for (int i = 0; i < 3; ++i) {
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
        QApplication::sendEvent(panel, &repeat);
    }
    QTest::keyClick(panel, Qt::Key_Space, Qt::ControlModifier);
    QTest::keyClick(panel, Qt::Key_A);
    Settle();
    EXPECT_TRUE(ReceivedHex().empty());
    EXPECT_FALSE(IsPressed(panel));
    // A lamp never clicks.
    QSignalSpy lampClicks(w_->panduck[4], &TPanel::clicked);
    QTest::keyClick(w_->panduck[4], Qt::Key_Space);
    EXPECT_EQ(lampClicks.count(), 0);
}

TEST_F(Accessibility, ClickOnAPanelLeavesTheFocusOnTheFader)
{
    ShowAndConnect();
    TfrmMain& w = *w_;
    Focus(w.tbMic[2]);
    QTest::mouseClick(w.Panel[2], Qt::LeftButton);
    QTest::mouseClick(w.btnduck[2], Qt::LeftButton);
    QTest::mouseClick(w.panMaunduck, Qt::LeftButton);
    EXPECT_TRUE(w.tbMic[2]->hasFocus());
    EXPECT_EQ(w.Panel[2]->focusPolicy(), Qt::TabFocus);
    // So the fader still sends when moved from the keyboard.
    Settle();
    ClearReceived();
    const int next = w.tbMic[2]->Position() + 1;
    QTest::keyClick(w.tbMic[2], Qt::Key_Down);
    EXPECT_TRUE(WaitForFrame(Frame(CM_MCS_MIC(static_cast<std::uint8_t>(next), channel::Mic(2)))));
}

QStringList TabWalk(int steps, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QStringList visited;
    for (int i = 0; i < steps; ++i) {
        QWidget* focus = QApplication::focusWidget();
        if (focus == nullptr) {
            visited << "<none>";
            break;
        }
        QTest::keyClick(focus, Qt::Key_Tab, modifiers);
        focus = QApplication::focusWidget();
        visited << (focus != nullptr ? focus->objectName() : QStringLiteral("<none>"));
    }
    return visited;
}

TEST_F(Accessibility, TabWalksStripByStripTopToBottom)
{
    ShowAndConnect();
    TfrmMain& w = *w_;
    QStringList controlTab;
    for (int n = 1; n <= 6; ++n) {
        controlTab << QStringLiteral("tbMic%1").arg(n) << QStringLiteral("edMic%1").arg(n)
                   << QStringLiteral("Panel%1").arg(n) << QStringLiteral("btnduck%1").arg(n);
    }
    controlTab << "tbLine" << "edLine" << "btnLine"                                   // line input
               << "tbSubLeft" << "edSubLeft" << "btnSubL"                             // sub left
               << "tbSubRight" << "edSubRight" << "btnSubR" << "btnSubGanged"         // sub right, pair
               << "tbMasterLeft" << "edMasterLeft" << "btnMasterL"                    // master left
               << "tbMasterRight" << "edMasterRight" << "btnMasterR" << "btnMasterGanged"
               << "btnTuner" << "btnType" << "btnCD" << "btnAux" << "btnOff"          // line source
               << "cbPresetNo" << "btnLoad" << "btnSave" << "panMaunduck";            // right column

    Focus(w.tbMic[1]);
    const QStringList forward = TabWalk(static_cast<int>(controlTab.size()) - 1);
    EXPECT_EQ(forward, controlTab.mid(1));
    // Backwards retraces the same path.
    Focus(w.tbMic[2]);
    EXPECT_EQ(TabWalk(4, Qt::ShiftModifier),
              (QStringList{"btnduck1", "Panel1", "edMic1", "tbMic1"}));

    w.PageControl1->setCurrentWidget(w.tabPreferences);
    Focus(w.tbThreshold);
    EXPECT_EQ(TabWalk(7), (QStringList{"edThreshold", "tbAttenuation", "edAttenuation", "edHoldtime",
                                                      "tbHoldTime", "tbFadeOut", "tbFadeIn"}));

    // About: the link, then the update buttons when they are shown.
    w.SetServiceMode(true);
    w.PageControl1->setCurrentWidget(w.TabSheet4);
    Focus(w.UnlURLLabel1);
    EXPECT_EQ(TabWalk(2), (QStringList{"btnUpdate", "btnUpdate2"}));
    EXPECT_EQ(TabWalk(2, Qt::ShiftModifier), (QStringList{"btnUpdate", "UnlURLLabel1"}));
}

// Keys move a focused fader the way they point (Up towards 0 dB on the
// inverted vertical faders) and send as a drag does.
TEST_F(Accessibility, KeysOnAFocusedFaderSendItsNewPosition)
{
    ShowAndConnect();
    TfrmMain& w = *w_;
    using Make = std::function<std::string(int)>;
    struct Step {
        Qt::Key key;
        int position;
    };
    struct Case {
        TrhTrackBar* fader;
        int start;
        Make frame;
        std::vector<Step> steps;
    };
    const auto page = w.tbMic[3]->pageStep();
    const std::vector<Step> vertical = {
        {Qt::Key_Up, 39},           {Qt::Key_Up, 38},          {Qt::Key_Down, 39},
        {Qt::Key_PageUp, 39 - page}, {Qt::Key_PageDown, 39},    {Qt::Key_Home, 0},
        {Qt::Key_Down, 1},          {Qt::Key_End, 79},         {Qt::Key_Up, 78},
    };
    const std::vector<Case> cases = {
        {w.tbMic[3], 40, [](int p) { return Frame(CM_MCS_MIC(static_cast<std::uint8_t>(p), channel::Mic(3))); },
         vertical},
        {w.tbSubLeft, 40, [](int p) { return Frame(CM_MCS_STEREO(static_cast<std::uint8_t>(p), 1)); }, vertical},
        {w.tbLine, 40, [](int p) { return Frame(CM_MCS_STEREO(static_cast<std::uint8_t>(p), channel::kLine)); },
         vertical},
        {w.tbAttenuation, 40, [](int p) { return Frame(CM_MCS_DK_ST_RED(static_cast<std::uint8_t>(p))); }, vertical},
        // Horizontal: Right and Up go towards the maximum (slow end).
        {w.tbFadeOut, 10, [](int p) { return Frame(CM_MCS_DK_FADEOUT(static_cast<std::uint8_t>(p))); },
         {{Qt::Key_Right, 11}, {Qt::Key_Left, 10}, {Qt::Key_Up, 11}, {Qt::Key_End, 63}, {Qt::Key_Home, 0}}},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(Id(c.fader));
        // Fader, group box, tab page.
        w.PageControl1->setCurrentWidget(c.fader->parentWidget()->parentWidget());
        // Put there by the program, without the focus: nothing goes out.
        if (QWidget* focus = QApplication::focusWidget()) {
            focus->clearFocus();
        }
        c.fader->SetPosition(c.start);
        Settle();
        ClearReceived();
        Focus(c.fader);
        for (const Step& s : c.steps) {
            ClearReceived();
            QTest::keyClick(c.fader, s.key);
            EXPECT_EQ(c.fader->Position(), s.position) << "key " << s.key;
            EXPECT_TRUE(WaitForFrame(c.frame(s.position))) << "key " << s.key;
            Settle();
            EXPECT_EQ(ReceivedHex(), std::vector<std::string>{c.frame(s.position)}) << "key " << s.key;
        }
        // The slider's accessible value follows the fader.
        QAccessibleValueInterface* value = Iface(c.fader)->valueInterface();
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->currentValue().toInt(), c.steps.back().position);
    }
    EXPECT_EQ(device_->State().live.micGain[2], 78);
    EXPECT_EQ(device_->State().live.fadeOut, 0);
}

TEST_F(Accessibility, FaderMovedByAReportSendsNothing)
{
    ShowAndConnect();
    TfrmMain& w = *w_;
    Focus(w.tbMic[1]);
    sim::DeviceState state = device_->State();
    state.live.micGain[2] = 30;
    state.live.stereoGain[1] = 12; // sub left
    device_->SetState(state);
    ClearReceived();
    w.RequestFullState();
    ASSERT_TRUE(WaitFor([&] { return w.tbMic[3]->Position() == 30 && w.tbSubLeft->Position() == 12; }));
    Settle();
    std::vector<std::string> inquiries;
    for (const LCmd& inquiry : FullStateInquiries()) {
        inquiries.push_back(Frame(inquiry));
    }
    EXPECT_EQ(ReceivedHex(), inquiries);
    // What the screen reader reads follows the report.
    EXPECT_EQ(Iface(w.tbMic[3])->valueInterface()->currentValue().toInt(), 30);
    EXPECT_EQ(ValueOf(w.edMic[3]), w.edMic[3]->text());
    EXPECT_EQ(Iface(w.pgbMic[3])->valueInterface()->currentValue().toInt(), 79 - 30);
}

} // namespace
