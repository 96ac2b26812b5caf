// Faders: the knob the user sees, the focus and keys the window's handlers
// rely on, and repainting only when something visible changed.
#include "Colortrackbar.h"

#include "PaintCounter.h"
#include "WaitFor.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <functional>

TEST(TrackBar, KnobGeometry)
{
    // expected: fill rectangle | triangle, index line
    const struct { int left, top, right, bottom, thumbLength; const char* expected; } cases[] = {
        // Thumb 18..20: an 18 px line 3 px above the fill's bottom; else 13 px, 2 px above.
        {10, 100, 30, 120, 18, "11 101 29 118 | 11,118 28,118 20,117 11,115 29,115"},
        {10, 100, 30, 120, 21, "11 101 29 118 | 11,118 28,118 20,117 11,116 24,116"},
        // Halves are cut toward zero, not floored, on either side of 0.
        {0, 0, 5, 1, 20, "1 1 4 0 | 1,0 3,0 2,-2 1,-3 19,-3"},
        {0, 0, 9, 10, 20, "1 1 8 8 | 1,8 7,8 4,7 1,5 19,5"},
        {-10, 0, -3, 10, 20, "-9 1 -4 8 | -9,8 -5,8 -6,7 -9,5 9,5"},
    };
    for (const auto& c : cases) {
        const KnobGeometry g = ComputeKnobGeometry(c.left, c.top, c.right, c.bottom, c.thumbLength);
        const auto& t = g.triangle;
        EXPECT_EQ(QString::asprintf("%d %d %d %d | %d,%d %d,%d %d,%d %d,%d %d,%d", g.left, g.top, g.right, g.bottom,
                                    t[0].x(), t[0].y(), t[1].x(), t[1].y(), t[2].x(), t[2].y(), g.lineFrom.x(),
                                    g.lineFrom.y(), g.lineTo.x(), g.lineTo.y()),
                  c.expected);
    }
}

TEST(TrackBar, KnobIsPaintedInItsColourAndSelectionOnlyWithEnableRange)
{
    TColorTrackBar bar;
    bar.resize(40, 200);
    const QRect r = bar.ThumbRect();
    const KnobGeometry g = ComputeKnobGeometry(r.left(), r.top(), r.left() + r.width(), r.top() + r.height(), 20);
    bar.SetThumbColor(0x00FF00);
    const QImage shot = bar.grab().toImage();
    EXPECT_EQ(shot.pixelColor(QPoint(g.left + 2, g.top + 1)), QColor(0, 255, 0));
    // The index line is black and ends one pixel before its end point.
    EXPECT_EQ(shot.pixelColor(g.lineFrom), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(g.lineTo - QPoint(1, 0)), QColor(Qt::black));
    EXPECT_NE(shot.pixelColor(g.lineTo), QColor(Qt::black));

    TrhTrackBar plainBar;
    plainBar.SetRange(0, 79);
    plainBar.resize(200, 40);
    plainBar.grab();  // the first grab polishes the widget
    const QImage plain = plainBar.grab().toImage();
    plainBar.SetSelStart(20);
    plainBar.SetSelEnd(60);
    EXPECT_EQ(plainBar.grab().toImage(), plain) << "no selection shown while EnableRange is off";
    plainBar.SetEnableRange(true);
    EXPECT_NE(plainBar.grab().toImage(), plain);
    plainBar.SetSelEnd(20);
    EXPECT_EQ(plainBar.grab().toImage(), plain) << "an empty range draws nothing";
}

TEST(TrackBar, SettersRepaintOnlyOnAChange)
{
    QWidget window;
    window.resize(200, 250);
    auto* bar = new TColorTrackBar(&window);
    bar->setGeometry(10, 10, 40, 200);
    auto* sentinel = new QWidget(&window);
    sentinel->setGeometry(150, 220, 10, 10);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    PaintCounter paints(bar, sentinel);
    paints.Flush();
    const struct { std::function<void()> apply; bool repaints; } steps[] = {
        {[&] { bar->SetThumbColor(clRed); }, false},   {[&] { bar->SetThumbColor(clBlue); }, true},
        {[&] { bar->SetThumbLength(20); }, false},     {[&] { bar->SetThumbLength(17); }, true},
        {[&] { bar->SetLineLength(10); }, false},      {[&] { bar->SetEnableRange(false); }, false},
        {[&] { bar->SetSelEnd(40); }, false},  // no range shown: nothing to redraw
        {[&] { bar->SetEnableRange(true); }, true},    {[&] { bar->SetEnableRange(true); }, false},
        {[&] { bar->SetSelStart(10); }, true},         {[&] { bar->SetSelStart(10); }, false},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const int before = paints.Count();
        steps[i].apply();
        paints.Flush();
        // A repaint may come late; none is flushed already.
        EXPECT_TRUE(steps[i].repaints ? WaitFor([&] { return paints.Count() > before; }) : paints.Count() == before) << "step " << i;
    }
    EXPECT_EQ(bar->ThumbRect().width(), 17);
}

TEST(TrackBar, AClickTakesTheFocusAndKeysMoveTheWayTheyPoint)
{
    QWidget window;
    auto* bar = new TColorTrackBar(&window);  // vertical
    auto* other = new QLineEdit(&window);
    bar->setGeometry(10, 10, 40, 200);
    other->setGeometry(100, 10, 80, 20);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(20, 100));
    EXPECT_TRUE(bar->hasFocus()) << "a click gives the fader the focus";

    bar->SetRange(0, 79);
    bar->SetPosition(0);
    const int topY = bar->HandleRect().center().y();
    bar->SetPosition(79);
    EXPECT_LT(topY, bar->HandleRect().center().y()) << "0 dB at the top";

    bar->SetLineLength(15);  // the page step; the line step stays 1
    // to: from 40
    const struct { Qt::Key key; int to; } keys[] = {{Qt::Key_Up, 39}, {Qt::Key_Down, 41}, {Qt::Key_PageDown, 55}, {Qt::Key_Home, 0}};
    for (const auto& k : keys) {
        bar->SetPosition(40);
        QTest::keyClick(bar, k.key);
        EXPECT_EQ(bar->Position(), k.to) << k.key;
    }
}

// A wheel turn moves a fader only once it holds the focus (so that the
// window sends what it shows); one that cannot take it (its window not
// shown) leaves the turn to whatever lies beneath.
TEST(TrackBar, AWheelIsAppliedOnlyByAFaderThatCanTakeTheFocus)
{
    for (const bool coloured : {false, true}) {
        for (const bool shown : {true, false}) {
            SCOPED_TRACE(testing::Message() << (coloured ? "colour " : "plain ") << (shown ? "shown" : "hidden"));
            QWidget window;
            TrhTrackBar* bar = coloured ? new TColorTrackBar(&window) : new TrhTrackBar(&window);
            bar->setGeometry(10, 10, 200, 40);
            bar->SetRange(0, 79);
            bar->SetPosition(40);
            if (shown) {
                window.show();
                window.activateWindow();
                ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
            }
            bool focusedWhenMoved = false;  // the window's handlers send only then
            QObject::connect(bar, &QSlider::valueChanged, [&] { focusedWhenMoved = bar->hasFocus(); });
            const QPointF at = bar->rect().center();
            QWheelEvent wheel(at, bar->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            QApplication::sendEvent(bar, &wheel);
            EXPECT_EQ(wheel.isAccepted(), shown);
            EXPECT_EQ(bar->Position() != 40, shown);
            EXPECT_EQ(focusedWhenMoved, shown);
        }
    }
}
