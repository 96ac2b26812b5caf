// What assistive technology sees of the panel and what the keyboard can do,
// read through Qt's accessibility API (the layer AT-SPI and UI Automation
// are fed from), against the real window and the simulated device.
#include "Commands.h"
#include "Fmsg.h"
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
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
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

    // COM, connected: the port column, switch-on, then the language;
    // what cannot be used while connected is passed over.
    w.PageControl1->setCurrentWidget(w.tabCOM);
    Focus(w.cbCOM);
    EXPECT_EQ(TabWalk(7), (QStringList{"btnDisconnect", "btnViewmessages", "swPreset1", "swPreset2", "swPreset3",
                                       "swOff", "btnFactory"}));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->parentWidget(), w.rdgLanguage);

    // About: the link, then the update buttons when they are shown.
    w.SetServiceMode(true);
    w.PageControl1->setCurrentWidget(w.TabSheet4);
    Focus(w.UnlURLLabel1);
    EXPECT_EQ(TabWalk(2), (QStringList{"btnUpdate", "btnUpdate2"}));
    EXPECT_EQ(TabWalk(2, Qt::ShiftModifier), (QStringList{"btnUpdate", "UnlURLLabel1"}));
}

} // namespace
