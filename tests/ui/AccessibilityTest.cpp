// What assistive technology sees of the panel and what the keyboard can do,
// read through Qt's accessibility API (the layer AT-SPI and UI Automation
// are fed from), against the real window and the simulated device.
#include "ActionsFixture.h"

#include "Commands.h"
#include "Fmsg.h"
#include "Hex.h"
#include "Panel.h"
#include "RadioGroup.h"
#include "Rhtrack.h"
#include "UnlURLLabel.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <functional>
#include <map>
#include <set>

namespace {

QAccessibleInterface* Iface(QObject* object)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    EXPECT_NE(iface, nullptr) << object->objectName().toStdString();
    return iface;
}

QString Text(QObject* object, QAccessible::Text kind)
{
    // On Unix Qt names a combo box by its current item and leaves the caption
    // to its "labelled by" relation; the name set on it is what others read.
    if (auto* combo = qobject_cast<QComboBox*>(object); combo != nullptr && kind == QAccessible::Name) {
        return combo->accessibleName();
    }
    QAccessibleInterface* iface = Iface(object);
    return iface != nullptr ? iface->text(kind) : QString();
}

using Accessibility = ActionsFixture;

// Every control has a name, and no two controls (labels aside: a caption may
// read like the control it captions) share one.
TEST_F(Accessibility, EveryControlIsNamedUniquely)
{
    BuildWindow();
    std::vector<QWidget*> all;
    for (QObject* c : w_->Components()) {
        const auto* group = qobject_cast<const QGroupBox*>(c);
        if (group == nullptr || !group->title().isEmpty() || !group->accessibleName().isEmpty()) {
            all.push_back(static_cast<QWidget*>(c));  // uncaptioned group boxes are plain containers
        }
    }
    for (TRadioGroup* group : {w_->rgProtocol, w_->rdgLanguage}) {
        for (int i = 0; i < group->Count(); ++i) {
            all.push_back(group->Button(i));
        }
    }
    std::map<QString, std::string> seen;
    for (QWidget* c : all) {
        const QString name = Text(c, QAccessible::Name);
        const std::string id = c->objectName().toStdString();
        EXPECT_FALSE(name.trimmed().isEmpty()) << id << " has no name";
        if (qobject_cast<QLabel*>(c) == nullptr) {
            const auto [it, fresh] = seen.emplace(name, id);
            EXPECT_TRUE(fresh) << id << " and " << it->second << " are both named " << name.toStdString();
        }
    }
    std::set<QString> inLog;
    for (QWidget* c : std::initializer_list<QWidget*>{w_->frmMsg->mmMsg, w_->frmMsg->rbRXTX, w_->frmMsg->rbRXOnly}) {
        EXPECT_TRUE(inLog.insert(Text(c, QAccessible::Name)).second) << c->objectName().toStdString();
    }
    EXPECT_FALSE(inLog.count(QString()));
}

// A latching panel is a checkable button; Space, Enter and its accessible
// toggle action do exactly what a click does. A lamp reports "lit" or "dark"
// as its value and description (AT-SPI passes no value on).
TEST_F(Accessibility, LatchingPanelsAreCheckableButtonsAndLampsLitOrDark)
{
    Connect();
    const auto act = [&](const std::function<void()>& action) {
        action();
        return Sent();
    };
    const auto click = [](TPanel* p) { return [p] { QTest::mouseClick(p, Qt::LeftButton); }; };
    const auto key = [](TPanel* p, Qt::Key k) {
        return [p, k] {
            p->setFocus(Qt::TabFocusReason);
            QTest::keyClick(p, k);
        };
    };
    for (TPanel* panel : {w_->Panel[3], w_->btnduck[2], w_->btnLine, w_->btnSubR, w_->btnMasterGanged, w_->panMaunduck}) {
        SCOPED_TRACE(panel->objectName().toStdString());
        QAccessibleInterface* iface = Iface(panel);
        EXPECT_EQ(iface->role(), QAccessible::Button);
        EXPECT_TRUE(iface->state().checkable);
        EXPECT_EQ(iface->text(QAccessible::Value), "");
        const bool before = IsPressed(panel);
        const Strings on = act(click(panel));
        ASSERT_FALSE(on.empty());
        const Strings off = act(click(panel));
        ASSERT_EQ(IsPressed(panel), before);
        EXPECT_EQ(act(key(panel, Qt::Key_Space)), on);
        EXPECT_NE(iface->state().checked, before);
        EXPECT_EQ(act(key(panel, Qt::Key_Return)), off);
        QAccessibleActionInterface* actions = iface->actionInterface();
        ASSERT_NE(actions, nullptr);
        ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
        EXPECT_EQ(act([&] { actions->doAction(QAccessibleActionInterface::toggleAction()); }), on);
        EXPECT_EQ(act(click(panel)), off);
    }
    // What MIC 3's mute sends, to be sure the comparisons compared real frames.
    EXPECT_EQ(act(key(w_->Panel[3], Qt::Key_Space)),
              Strings{ToHex(CM_MCS_MUTE(1, channel::Mic(3)).MakeFrame(frame::kModeFramed))});

    act([&] { QTest::mouseClick(w_->btnCD, Qt::LeftButton); });
    for (int i = 0; i < 5; ++i) {
        QAccessibleInterface* lamp = Iface(w_->LinePanel[i]);
        EXPECT_EQ(lamp->role(), QAccessible::Indicator);
        EXPECT_FALSE(lamp->state().focusable || lamp->state().checkable);
        EXPECT_EQ(lamp->text(QAccessible::Value), i == 2 ? "lit" : "dark") << i;
        EXPECT_EQ(lamp->text(QAccessible::Description), i == 2 ? "lit" : "dark") << i;
    }
}

// Tab from `from` (Shift+Tab when backwards): the names of the controls visited.
QStringList TabWalk(QWidget* from, int steps, bool backwards = false)
{
    from->setFocus(Qt::TabFocusReason);
    QStringList visited;
    for (int i = 0; i < steps && QApplication::focusWidget() != nullptr; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, backwards ? Qt::ShiftModifier : Qt::NoModifier);
        visited << (QApplication::focusWidget() != nullptr ? QApplication::focusWidget()->objectName() : "<none>");
    }
    return visited;
}

TEST_F(Accessibility, TabWalksStripByStripTopToBottom)
{
    Connect();
    QStringList control;
    for (int n = 1; n <= 6; ++n) {
        control << QStringLiteral("tbMic%1").arg(n) << QStringLiteral("edMic%1").arg(n)
                << QStringLiteral("Panel%1").arg(n) << QStringLiteral("btnduck%1").arg(n);
    }
    control << "tbLine" << "edLine" << "btnLine" << "tbSubLeft" << "edSubLeft" << "btnSubL" << "tbSubRight"
            << "edSubRight" << "btnSubR" << "btnSubGanged" << "tbMasterLeft" << "edMasterLeft" << "btnMasterL"
            << "tbMasterRight" << "edMasterRight" << "btnMasterR" << "btnMasterGanged" << "btnTuner" << "btnType"
            << "btnCD" << "btnAux" << "btnOff" << "cbPresetNo" << "btnLoad" << "btnSave" << "panMaunduck";
    EXPECT_EQ(TabWalk(w_->tbMic[1], control.size() - 1), control.mid(1));
    EXPECT_EQ(TabWalk(w_->tbMic[2], 4, true), (QStringList{"btnduck1", "Panel1", "edMic1", "tbMic1"}));

    ShowTab(w_->tabPreferences);
    EXPECT_EQ(TabWalk(w_->tbThreshold, 7), (QStringList{"edThreshold", "tbAttenuation", "edAttenuation",
                                                        "edHoldtime", "tbHoldTime", "tbFadeOut", "tbFadeIn"}));
    // COM, connected: the port column, switch-on, then the language; what
    // cannot be used while connected is passed over.
    ShowTab(w_->tabCOM);
    EXPECT_EQ(TabWalk(w_->cbCOM, 8).mid(0, 7), (QStringList{"btnDisconnect", "btnViewmessages", "swPreset1",
                                                            "swPreset2", "swPreset3", "swOff", "btnFactory"}));
    EXPECT_EQ(QApplication::focusWidget()->parentWidget(), w_->rdgLanguage);
    // About: the link, then the update buttons when they are shown.
    w_->SetServiceMode(true);
    ShowTab(w_->TabSheet4);
    EXPECT_EQ(TabWalk(w_->UnlURLLabel1, 2), (QStringList{"btnUpdate", "btnUpdate2"}));
    EXPECT_EQ(TabWalk(w_->btnUpdate2, 2, true), (QStringList{"btnUpdate", "UnlURLLabel1"}));
}

}  // namespace
