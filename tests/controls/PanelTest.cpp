#include "Colors.h"
#include "Panel.h"

#include "WaitFor.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

TEST(PanelTest, LatchSetsBothBevelsAndReadsOnlyTheInnerOne)
{
    TPanel panel;
    SetPressed(&panel, true);
    EXPECT_EQ(panel.BevelInner(), bvLowered);
    EXPECT_EQ(panel.BevelOuter(), bvLowered);
    EXPECT_TRUE(IsPressed(&panel));
    SetPressed(&panel, false);
    EXPECT_EQ(panel.BevelInner(), bvRaised);
    EXPECT_EQ(panel.BevelOuter(), bvRaised);
    EXPECT_FALSE(IsPressed(&panel));

    // The outer bevel does not count; anything but a raised inner bevel is pressed.
    struct Case {
        TBevel inner, outer;
        bool pressed;
    };
    const Case cases[] = {
        {bvRaised, bvLowered, false},
        {bvLowered, bvRaised, true},
        {bvNone, bvRaised, true},
        {bvRaised, bvNone, false},
    };
    for (const Case& c : cases) {
        panel.SetBevelInner(c.inner);
        panel.SetBevelOuter(c.outer);
        EXPECT_EQ(IsPressed(&panel), c.pressed) << "inner " << c.inner << " outer " << c.outer;
    }
}

TEST(PanelTest, IndicatorIsSmallLoweredCaptionlessAndColoured)
{
    TPanel panel;
    panel.SetCaption(QStringLiteral("x"));
    MakeIndicator(&panel, clLime);
    EXPECT_EQ(panel.size(), QSize(20, 8));
    EXPECT_EQ(panel.BevelInner(), bvLowered);
    EXPECT_EQ(panel.BevelOuter(), bvLowered);
    EXPECT_TRUE(panel.Caption().isEmpty());
    EXPECT_EQ(panel.Color(), clLime);
}

TEST(PanelTest, StoredColoursHaveBlueInTheHighByte)
{
    struct Case {
        TColor stored;
        QColor shown;
    };
    const Case cases[] = {
        {clLime, QColor(0, 255, 0)},   {clGreen, QColor(0, 128, 0)}, {clYellow, QColor(255, 255, 0)},
        {clOlive, QColor(128, 128, 0)}, {clRed, QColor(255, 0, 0)},  {clBlue, QColor(0, 0, 255)},
        {0x123456, QColor(0x56, 0x34, 0x12)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToQColor(c.stored), c.shown) << std::hex << c.stored;
    }
    // A system colour is resolved by the caller's palette.
    EXPECT_EQ(ToQColor(clBtnFace, Qt::gray), QColor(Qt::gray));
}

TEST(PanelTest, PaintsItsColour)
{
    TPanel panel;
    panel.resize(40, 20);
    panel.SetBevelInner(bvNone);
    panel.SetBevelOuter(bvNone);
    panel.SetColor(clYellow);
    const QImage shot = panel.grab().toImage();
    EXPECT_EQ(shot.pixelColor(20, 10), QColor(255, 255, 0));
    panel.SetColor(clOlive);
    EXPECT_EQ(panel.grab().toImage().pixelColor(20, 10), QColor(128, 128, 0));
}

namespace {

struct PanelWithLabel {
    QWidget window;
    TPanel* panel;
    QLabel* label;
    PanelWithLabel()
    {
        window.resize(200, 100);
        panel = new TPanel(&window);
        panel->setGeometry(10, 10, 150, 60);
        label = new QLabel(QStringLiteral("Manual"), panel);
        label->setGeometry(10, 10, 80, 20);
    }
};

} // namespace

TEST(PanelTest, ClickOnAChildLabelIsAClickOnThePanel)
{
    PanelWithLabel w;
    QSignalSpy clicks(w.panel, &TPanel::clicked);
    // Delivered to the label itself: the label lets it through to the panel.
    QTest::mouseClick(w.label, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks.count(), 1);

    // Through the window, as a real pointer: the label is not hit at all.
    w.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w.window));
    EXPECT_TRUE(w.label->testAttribute(Qt::WA_TransparentForMouseEvents));
    const QPoint onLabel = w.label->mapTo(&w.window, QPoint(5, 5));
    QTest::mouseClick(w.window.windowHandle(), Qt::LeftButton, {}, onLabel);
    EXPECT_TRUE(WaitFor([&] { return clicks.count() == 2; }));
}

TEST(PanelTest, ReleaseOutsideOrOtherButtonIsNoClick)
{
    PanelWithLabel w;
    QSignalSpy clicks(w.panel, &TPanel::clicked);
    QTest::mousePress(w.panel, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(w.panel, Qt::LeftButton, {}, QPoint(500, 5));
    QTest::mouseClick(w.panel, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks.count(), 0);
    QTest::mouseClick(w.panel, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks.count(), 1);
}
