#include "Rhtrack.h"

#include "PaintCounter.h"
#include "WaitFor.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A shown window holding a fader and a sentinel beside it.
struct Shown {
    QWidget window;
    TrhTrackBar* bar;
    QWidget* sentinel;
    explicit Shown(Qt::Orientation o = Qt::Horizontal)
    {
        window.resize(300, 300);
        bar = new TrhTrackBar(&window);
        bar->SetOrientation(o);
        bar->SetRange(0, 79);
        bar->setGeometry(10, 10, o == Qt::Horizontal ? 200 : 40, o == Qt::Horizontal ? 40 : 200);
        sentinel = new QWidget(&window);
        sentinel->setGeometry(250, 250, 10, 10);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
};

QRect Handle(TrhTrackBar* bar)
{
    return bar->HandleRect();
}

} // namespace

TEST(RhtrackTest, EnableRangeIsOffAndRepaintsOnlyWhenItChanges)
{
    Shown s;
    EXPECT_FALSE(s.bar->EnableRange());
    PaintCounter paints(s.bar, s.sentinel);
    paints.Flush();
    const int settled = paints.Count();

    s.bar->SetEnableRange(false); // same value: nothing
    paints.Flush();
    EXPECT_EQ(paints.Count(), settled);

    s.bar->SetEnableRange(true);
    EXPECT_TRUE(WaitFor([&] { return paints.Count() > settled; }));
    const int afterChange = paints.Count();

    s.bar->SetEnableRange(true); // same value again: nothing
    paints.Flush();
    EXPECT_EQ(paints.Count(), afterChange);
}

TEST(RhtrackTest, SelectionIsDrawnInTheChannelOnlyWithEnableRange)
{
    TrhTrackBar bar;
    bar.SetRange(0, 79);
    bar.resize(200, 40);
    bar.SetPosition(0);
    bar.grab(); // the first grab polishes the widget
    const QImage plain = bar.grab().toImage();

    bar.SetSelStart(20);
    bar.SetSelEnd(60);
    EXPECT_EQ(bar.grab().toImage(), plain) << "a selection must not show while EnableRange is off";

    bar.SetEnableRange(true);
    EXPECT_NE(bar.grab().toImage(), plain);

    // An empty range draws nothing even when enabled.
    bar.SetSelEnd(20);
    EXPECT_EQ(bar.grab().toImage(), plain);
}

TEST(RhtrackTest, SelectionChangeRepaintsOnlyWhileEnabled)
{
    Shown s;
    PaintCounter paints(s.bar, s.sentinel);
    paints.Flush();
    int n = paints.Count();
    s.bar->SetSelEnd(40); // disabled: nothing to show
    paints.Flush();
    EXPECT_EQ(paints.Count(), n);

    s.bar->SetEnableRange(true);
    paints.Flush();
    n = paints.Count();
    s.bar->SetSelStart(10);
    EXPECT_TRUE(WaitFor([&] { return paints.Count() > n; }));
    n = paints.Count();
    s.bar->SetSelStart(10);
    paints.Flush();
    EXPECT_EQ(paints.Count(), n);
}

TEST(RhtrackTest, ChangeFiresForProgramChangesButNotForTheSameValue)
{
    TrhTrackBar bar;
    bar.SetRange(0, 79);
    QSignalSpy changes(&bar, &QSlider::valueChanged);
    bar.SetPosition(25);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toInt(), 25);
    bar.SetPosition(25);
    EXPECT_EQ(changes.count(), 1);
    // Out of range ends at the nearest limit and fires once for it.
    bar.SetPosition(500);
    EXPECT_EQ(bar.Position(), 79);
    EXPECT_EQ(changes.count(), 2);
}

TEST(RhtrackTest, VerticalHasItsMinimumAtTheTopAndUpMovesUp)
{
    Shown s(Qt::Vertical);
    s.bar->SetPosition(0);
    const int topY = Handle(s.bar).center().y();
    s.bar->SetPosition(79);
    const int bottomY = Handle(s.bar).center().y();
    EXPECT_LT(topY, bottomY) << "position 0 (0 dB) must be at the top";

    s.bar->setFocus();
    s.bar->SetPosition(40);
    QTest::keyClick(s.bar, Qt::Key_Up);
    EXPECT_EQ(s.bar->Position(), 39);
    QTest::keyClick(s.bar, Qt::Key_Down);
    QTest::keyClick(s.bar, Qt::Key_Down);
    EXPECT_EQ(s.bar->Position(), 41);
    QTest::keyClick(s.bar, Qt::Key_Home);
    EXPECT_EQ(s.bar->Position(), 0);
}

TEST(RhtrackTest, HorizontalKeepsItsMinimumOnTheLeft)
{
    Shown s(Qt::Horizontal);
    EXPECT_FALSE(s.bar->invertedAppearance());
    s.bar->SetPosition(0);
    const int leftX = Handle(s.bar).center().x();
    s.bar->SetPosition(79);
    EXPECT_LT(leftX, Handle(s.bar).center().x());
}

TEST(RhtrackTest, ClickGivesTheFocus)
{
    Shown s(Qt::Vertical);
    auto* other = new QLineEdit(&s.window);
    other->setGeometry(100, 10, 80, 20);
    other->show();
    s.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&s.window));
    other->setFocus();
    ASSERT_FALSE(s.bar->hasFocus());
    QTest::mouseClick(s.bar, Qt::LeftButton, {}, QPoint(20, 100));
    EXPECT_TRUE(s.bar->hasFocus());
}
