#include "Colors.h"
#include "Panel.h"

#include "WaitFor.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>


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
