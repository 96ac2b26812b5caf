// What assistive technology sees of the panel and what the keyboard can do,
// read through Qt's accessibility API (the layer AT-SPI and UI Automation
// are fed from), against the real window and the simulated device.
#include "ActionsFixture.h"

#include "Fmsg.h"
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

#include <map>

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
    all.insert(all.end(), {w_->frmMsg->mmMsg, w_->frmMsg->rbRXTX, w_->frmMsg->rbRXOnly});
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
}

// Space, Enter, the accessible toggle action and a double-click each do
// exactly what one click does; a lamp's value reads "lit" or "dark" (the
// roles, states and change events are read over AT-SPI by atspi_tree.py).
TEST_F(Accessibility, EveryWayToToggleALatchingPanelIsOneClick)
{
    Connect();
    for (TPanel* panel : {w_->Panel[3], w_->btnduck[2], w_->btnLine, w_->btnSubR, w_->btnMasterGanged,
                          w_->panMaunduck}) {
        SCOPED_TRACE(panel->objectName().toStdString());
        const QPoint at = panel->rect().center();
        const auto key = [&](Qt::Key k) {
            panel->setFocus(Qt::TabFocusReason);
            QTest::keyClick(panel, k);
            return Sent();
        };
        QTest::mouseClick(panel, Qt::LeftButton);
        const Strings first = Sent();
        QTest::mouseClick(panel, Qt::LeftButton);
        const Strings second = Sent();
        ASSERT_EQ(first.size(), 1U);
        EXPECT_EQ(key(Qt::Key_Space), first);
        EXPECT_EQ(key(Qt::Key_Return), second);
        QAccessibleActionInterface* actions = Iface(panel)->actionInterface();
        ASSERT_NE(actions, nullptr);
        ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
        actions->doAction(QAccessibleActionInterface::toggleAction());
        EXPECT_EQ(Sent(), first);
        // The platform's order: press, release, press, double-click, release.
        QTest::mouseClick(panel, Qt::LeftButton, {}, at);
        QTest::mousePress(panel, Qt::LeftButton, {}, at);
        QMouseEvent dbl(QEvent::MouseButtonDblClick, at, panel->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                        Qt::NoModifier);
        QApplication::sendEvent(panel, &dbl);
        QTest::mouseRelease(panel, Qt::LeftButton, {}, at);
        EXPECT_EQ(Sent(), second);
    }
    // (What each click sends: the user-action tests.)
    QTest::mouseClick(w_->btnCD, Qt::LeftButton);
    Sent();
    EXPECT_EQ(Iface(w_->LinePanel[2])->text(QAccessible::Value), "lit");
    EXPECT_EQ(Iface(w_->LinePanel[0])->text(QAccessible::Value), "dark");
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
