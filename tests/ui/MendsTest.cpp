// Faults found by review, against the simulated device: a wheel turn sends
// what it shows, a double-click toggles once.
#include "ActionsFixture.h"

#include "Panel.h"
#include "Rhtrack.h"

#include <QApplication>
#include <QTest>
#include <QWheelEvent>

namespace {

class Mends : public ActionsFixture {};

// One notch of the wheel over a fader that does not hold the focus.
TEST_F(Mends, WheelOverAnyFaderSendsWhatItShows)
{
    Connect();
    for (TrhTrackBar* fader : w_->findChildren<TrhTrackBar*>()) {
        SCOPED_TRACE(fader->objectName().toStdString());
        if (!fader->isEnabled()) {
            continue;
        }
        ShowTab(w_->tabControl->isAncestorOf(fader) ? w_->tabControl : w_->tabPreferences);
        FocusElsewhere();
        const int before = fader->Position();
        // +120 moves an inverted (vertical) fader down in value.
        const int delta = (fader->invertedControls() ? before > fader->Min() : before < fader->Max()) ? 120 : -120;
        const QPointF at = fader->rect().center();
        QWheelEvent wheel(at, fader->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(fader, &wheel);
        EXPECT_NE(fader->Position(), before);
        EXPECT_TRUE(fader->hasFocus());
        EXPECT_EQ(Sent().size(), 1U);
    }
}

TEST_F(Mends, DoubleClickOnALatchingPanelIsOneClick)
{
    Connect();
    for (TPanel* panel : {w_->Panel[1], w_->btnduck[2], w_->btnSubGanged, w_->panMaunduck, w_->swPreset[2]}) {
        SCOPED_TRACE(panel->objectName().toStdString());
        const bool pressed = IsPressed(panel);
        // The platform's order: press, release, press, double-click, release.
        const QPoint at = panel->rect().center();
        QTest::mouseClick(panel, Qt::LeftButton, {}, at);
        QTest::mousePress(panel, Qt::LeftButton, {}, at);
        QMouseEvent dbl(QEvent::MouseButtonDblClick, at, panel->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                        Qt::NoModifier);
        QApplication::sendEvent(panel, &dbl);
        QTest::mouseRelease(panel, Qt::LeftButton, {}, at);
        EXPECT_NE(IsPressed(panel), pressed);
        EXPECT_EQ(Sent().size(), 1U);
    }
}

}  // namespace
