#include "Colortrackbar.h"

#include "PaintCounter.h"
#include "WaitFor.h"

#include <QTest>

#include <gtest/gtest.h>

TEST(ColortrackbarTest, KnobGeometry)
{
    struct Case {
        int left, top, right, bottom, thumbLength;
        int fLeft, fTop, fRight, fBottom;
        QPoint apex, lineFrom, lineTo;
    };
    const Case cases[] = {
        // Default thumb length: an 18 px line 3 px above F's bottom.
        {10, 100, 30, 120, 20, 11, 101, 29, 118, QPoint(20, 117), QPoint(11, 115), QPoint(29, 115)},
        {10, 100, 30, 120, 18, 11, 101, 29, 118, QPoint(20, 117), QPoint(11, 115), QPoint(29, 115)},
        // Just outside 18..20: a 13 px line 2 px above.
        {10, 100, 30, 120, 17, 11, 101, 29, 118, QPoint(20, 117), QPoint(11, 116), QPoint(24, 116)},
        {10, 100, 30, 120, 21, 11, 101, 29, 118, QPoint(20, 117), QPoint(11, 116), QPoint(24, 116)},
        // The half pixel is cut toward zero, not floored, near the origin.
        {0, 0, 5, 1, 20, 1, 1, 4, 0, QPoint(2, -2), QPoint(1, -3), QPoint(19, -3)},
        // The apex's x is cut toward zero too, for an odd sum on either side of 0.
        {0, 0, 9, 10, 20, 1, 1, 8, 8, QPoint(4, 7), QPoint(1, 5), QPoint(19, 5)},
        {-10, 0, -3, 10, 20, -9, 1, -4, 8, QPoint(-6, 7), QPoint(-9, 5), QPoint(9, 5)},
    };
    for (const Case& c : cases) {
        const KnobGeometry g = ComputeKnobGeometry(c.left, c.top, c.right, c.bottom, c.thumbLength);
        SCOPED_TRACE(testing::Message() << "R " << c.left << "," << c.top << "," << c.right << "," << c.bottom
                                        << " thumb " << c.thumbLength);
        EXPECT_EQ(g.left, c.fLeft);
        EXPECT_EQ(g.top, c.fTop);
        EXPECT_EQ(g.right, c.fRight);
        EXPECT_EQ(g.bottom, c.fBottom);
        EXPECT_EQ(g.triangle[0], QPoint(c.fLeft, c.fBottom));
        EXPECT_EQ(g.triangle[1], QPoint(c.fRight - 1, c.fBottom));
        EXPECT_EQ(g.triangle[2], c.apex);
        EXPECT_EQ(g.lineFrom, c.lineFrom);
        EXPECT_EQ(g.lineTo, c.lineTo);
    }
}

TEST(ColortrackbarTest, LineLengthIsThePageStep)
{
    TColorTrackBar bar;
    bar.SetRange(0, 100);
    bar.SetPosition(0);
    bar.SetLineLength(15);
    EXPECT_EQ(bar.PageSize(), 15);
    QTest::keyClick(&bar, Qt::Key_PageDown);
    EXPECT_EQ(bar.Position(), 15);
    QTest::keyClick(&bar, Qt::Key_Down);
    EXPECT_EQ(bar.Position(), 16) << "the line step stays 1";

    // The same value changes nothing, even after the page step moved on.
    bar.setPageStep(3);
    bar.SetLineLength(15);
    EXPECT_EQ(bar.PageSize(), 3);
}

TEST(ColortrackbarTest, ThumbIsPaintedInItsColourOverTheSlider)
{
    TColorTrackBar bar;
    bar.resize(40, 200);
    const QRect r = bar.ThumbRect();
    const KnobGeometry g = ComputeKnobGeometry(r.left(), r.top(), r.left() + r.width(), r.top() + r.height(), 20);
    ASSERT_GT(g.bottom - g.top, 4);
    const QPoint inFill(g.left + 2, g.top + 1);

    EXPECT_EQ(bar.grab().toImage().pixelColor(inFill), QColor(255, 0, 0));
    bar.SetThumbColor(0x00FF00);
    EXPECT_EQ(bar.grab().toImage().pixelColor(inFill), QColor(0, 255, 0));

    // The index line is black and ends one pixel before its end point.
    const QImage shot = bar.grab().toImage();
    EXPECT_EQ(shot.pixelColor(g.lineFrom), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(g.lineTo - QPoint(1, 0)), QColor(Qt::black));
    EXPECT_NE(shot.pixelColor(g.lineTo), QColor(Qt::black));

    // The knob follows the thumb.
    bar.SetPosition(0);
    const QRect top = bar.ThumbRect();
    bar.SetPosition(10);
    EXPECT_GT(bar.ThumbRect().top(), top.top());
    EXPECT_EQ(bar.ThumbRect().width(), 20);
}

TEST(ColortrackbarTest, SettersRepaintOnlyOnAChange)
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

    struct Step {
        const char* what;
        std::function<void()> apply;
        bool repaints;
    };
    const Step steps[] = {
        {"same colour", [&] { bar->SetThumbColor(clRed); }, false},
        {"new colour", [&] { bar->SetThumbColor(clBlue); }, true},
        {"same thumb length", [&] { bar->SetThumbLength(20); }, false},
        {"new thumb length", [&] { bar->SetThumbLength(17); }, true},
        {"same line length", [&] { bar->SetLineLength(10); }, false},
    };
    for (const Step& s : steps) {
        const int before = paints.Count();
        s.apply();
        paints.Flush();
        if (s.repaints) {
            EXPECT_TRUE(WaitFor([&] { return paints.Count() > before; })) << s.what;
        } else {
            EXPECT_EQ(paints.Count(), before) << s.what;
        }
    }
    EXPECT_EQ(bar->ThumbLength(), 17);
    EXPECT_EQ(bar->ThumbRect().width(), 17);
}
