// Clamping level bars, typed-length limits, the status bar and radio
// groups.
#include "EditLength.h"
#include "LevelBar.h"
#include "RadioGroup.h"
#include "StatusBar.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

TEST(HelpersTest, LevelBarClampsWhereQProgressBarWouldIgnore)
{
    QProgressBar bar;
    bar.setRange(0, 79);
    bar.setValue(40);
    struct Case {
        int requested, shown;
    };
    const Case cases[] = {{-1, 0}, {-300, 0}, {0, 0}, {12, 12}, {79, 79}, {80, 79}, {127, 79}};
    for (const Case& c : cases) {
        bar.setValue(40);
        SetBarPosition(&bar, c.requested);
        EXPECT_EQ(bar.value(), c.shown) << c.requested;
    }
}

TEST(HelpersTest, MaxLengthLimitsTypingButNotProgramText)
{
    QLineEdit edit;
    SetMaxLength(&edit, 6);
    EXPECT_EQ(MaxLength(&edit), 6);

    // A level text longer than the limit is shown whole.
    edit.setText(QStringLiteral("-12.5dB"));
    EXPECT_EQ(edit.text(), QStringLiteral("-12.5dB"));

    // Typing into an over-long text is refused; shortening it is allowed.
    edit.setFocus();
    edit.end(false);
    QTest::keyClicks(&edit, QStringLiteral("x"));
    EXPECT_EQ(edit.text(), QStringLiteral("-12.5dB"));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), QStringLiteral("-12.5d"));

    edit.clear();
    QTest::keyClicks(&edit, QStringLiteral("-12.5dBXYZ"));
    EXPECT_EQ(edit.text(), QStringLiteral("-12.5d"));

    SetMaxLength(&edit, 0);
    EXPECT_EQ(MaxLength(&edit), 0);
    QTest::keyClicks(&edit, QStringLiteral("B!"));
    EXPECT_EQ(edit.text(), QStringLiteral("-12.5dB!"));
}

TEST(HelpersTest, StatusBarPanelsAndSimpleMode)
{
    TStatusBar bar;
    bar.SetPanelWidths({125, 360, 50});
    bar.resize(748, 31);
    ASSERT_EQ(bar.PanelCount(), 3);
    EXPECT_EQ(bar.PanelLabel(0)->width(), 125);
    EXPECT_EQ(bar.PanelLabel(1)->width(), 360);
    EXPECT_EQ(bar.PanelLabel(1)->x(), 127);
    EXPECT_GE(bar.PanelLabel(2)->width(), 50);

    bar.SetPanelText(0, QStringLiteral("COM1 connected"));
    bar.SetPanelText(1, QStringLiteral("-ACK- (3)"));
    bar.SetPanelText(7, QStringLiteral("ignored"));
    EXPECT_EQ(bar.PanelText(0), QStringLiteral("COM1 connected"));
    EXPECT_EQ(bar.PanelText(2), QString());
    EXPECT_EQ(bar.PanelText(7), QString());

    bar.SetSimplePanel(true);
    bar.SetSimpleText(QStringLiteral("Writing page 3"));
    EXPECT_TRUE(bar.PanelLabel(0)->isHidden());
    bar.SetSimplePanel(false);
    EXPECT_FALSE(bar.PanelLabel(0)->isHidden());
    EXPECT_EQ(bar.PanelText(0), QStringLiteral("COM1 connected"));
    EXPECT_EQ(bar.SimpleText(), QStringLiteral("Writing page 3"));
}

TEST(HelpersTest, RadioGroupItemsAndSelection)
{
    TRadioGroup group;
    group.SetItems({QStringLiteral("German"), QStringLiteral("English")});
    group.resize(200, 80);
    group.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&group));
    EXPECT_EQ(group.ItemIndex(), -1);
    QSignalSpy clicks(&group, &TRadioGroup::clicked);

    group.SetItemIndex(1);
    EXPECT_EQ(group.ItemIndex(), 1);
    EXPECT_EQ(clicks.count(), 0) << "a selection by program is no click";

    // Renaming keeps the selection.
    group.SetItemText(0, QStringLiteral("Deutsch"));
    EXPECT_EQ(group.ItemText(0), QStringLiteral("Deutsch"));
    EXPECT_EQ(group.ItemIndex(), 1);

    // On the round indicator at the button's left.
    QTest::mouseClick(group.Button(0), Qt::LeftButton, {}, QPoint(7, group.Button(0)->height() / 2));
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.at(0).at(0).toInt(), 0);
    EXPECT_EQ(group.ItemIndex(), 0);

    group.SetItemIndex(-1);
    EXPECT_EQ(group.ItemIndex(), -1);
    EXPECT_EQ(group.Button(5), nullptr);
    EXPECT_EQ(group.ItemText(5), QString());

    // Items are the group's own button class, never a plain radio button.
    EXPECT_NE(group.Button(0)->metaObject(), &QRadioButton::staticMetaObject);

    // New items replace the old ones.
    group.SetItems({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    EXPECT_EQ(group.Count(), 3);
    EXPECT_EQ(group.Items(), (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
}
