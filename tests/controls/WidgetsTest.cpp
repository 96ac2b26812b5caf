// The small controls: clicks on latching panels, the link label, clamping
// level bars, typed-length limits, the status bar and radio groups.
#include "EditLength.h"
#include "LevelBar.h"
#include "Panel.h"
#include "RadioGroup.h"
#include "StatusBar.h"
#include "UnlURLLabel.h"

#include "WaitFor.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

TEST(Widgets, PanelClicksComeFromItselfOrItsLabelsOnly)
{
    QWidget window;
    auto* panel = new TPanel(&window);
    panel->setGeometry(10, 10, 150, 60);
    auto* label = new QLabel(QStringLiteral("Manual"), panel);
    label->setGeometry(10, 10, 80, 20);
    QSignalSpy clicks(panel, &TPanel::clicked);
    QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(500, 5));  // released outside
    QTest::mouseClick(panel, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks.count(), 0);
    // Through the window, as a real pointer: the label lets the click through.
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, label->mapTo(&window, QPoint(5, 5)));
    EXPECT_TRUE(WaitFor([&] { return clicks.count() == 1; }));
}

TEST(Widgets, LinkLabelShowsItsUrlAndOpensItOncePerClickOrKey)
{
    QStringList opened;
    const TUnlURLLabel::Opener saved = TUnlURLLabel::UrlOpener();
    TUnlURLLabel::UrlOpener() = [&](const QString& url) { opened << "open " + url; };
    TUnlURLLabel label;
    label.SetURL(QStringLiteral("https://example.org/<b>x</b>"));
    EXPECT_EQ(label.text(), label.URL());
    EXPECT_EQ(label.textFormat(), Qt::PlainText);

    label.resize(200, 20);
    // The handler runs first and may still decide what is opened.
    QObject::connect(&label, &TUnlURLLabel::clicked, [&] {
        opened << QStringLiteral("handler");
        label.SetURL(QStringLiteral("https://example.org/k"));
    });
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(opened, (QStringList{"handler", "open https://example.org/k"}));

    // Which presses make a click is the click tracker's rule, shared with the
    // panels: the pointer's side is tried on the panel, the keys here.
    const struct { Qt::Key key; Qt::KeyboardModifiers modifiers; bool autoRepeat; int opens; } presses[] = {
        {Qt::Key_Space, Qt::NoModifier, false, 1},      {Qt::Key_Return, Qt::NoModifier, false, 1},
        {Qt::Key_Enter, Qt::KeypadModifier, false, 1},  {Qt::Key_Space, Qt::NoModifier, true, 0},
        {Qt::Key_Return, Qt::ControlModifier, false, 0}, {Qt::Key_A, Qt::NoModifier, false, 0},
    };
    for (const auto& p : presses) {
        opened.clear();
        QKeyEvent press(QEvent::KeyPress, p.key, p.modifiers, QString(), p.autoRepeat);
        QCoreApplication::sendEvent(&label, &press);
        EXPECT_EQ(opened.size(), 2 * p.opens) << p.key << " repeat " << p.autoRepeat;
    }
    TUnlURLLabel::UrlOpener() = saved;
}

TEST(Widgets, LevelBarsClampAndTypedLengthLimitsOnlyTyping)
{
    QProgressBar bar;
    bar.setRange(0, 79);
    for (const auto& [requested, shown] : {std::pair{-300, 0}, {0, 0}, {12, 12}, {79, 79}, {80, 79}}) {
        bar.setValue(40);
        SetBarPosition(&bar, requested);
        EXPECT_EQ(bar.value(), shown) << requested;
    }

    QLineEdit edit;
    SetMaxLength(&edit, 6);
    edit.setText(QStringLiteral("-12.5dB"));  // a level text is shown whole
    edit.end(false);
    QTest::keyClicks(&edit, QStringLiteral("x"));
    EXPECT_EQ(edit.text(), QStringLiteral("-12.5dB"));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), QStringLiteral("-12.5d"));
    edit.clear();
    QTest::keyClicks(&edit, QStringLiteral("-12.5dBXYZ"));
    EXPECT_EQ(edit.text(), QStringLiteral("-12.5d"));
    SetMaxLength(&edit, 0);
    QTest::keyClicks(&edit, QStringLiteral("B!"));
    EXPECT_EQ(edit.text(), QStringLiteral("-12.5dB!"));
}

TEST(Widgets, StatusBarPanelsAndRadioGroupItems)
{
    TStatusBar status;
    status.SetPanelWidths({125, 360, 50});
    status.resize(748, 31);
    ASSERT_EQ(status.PanelCount(), 3);
    status.SetPanelText(0, QStringLiteral("COM1 connected"));
    status.SetPanelText(7, QStringLiteral("ignored"));
    EXPECT_EQ(status.PanelText(7), QString());
    status.SetSimplePanel(true);
    status.SetSimpleText(QStringLiteral("Writing page 3"));
    EXPECT_TRUE(status.PanelLabel(0)->isHidden());
    status.SetSimplePanel(false);
    EXPECT_EQ(status.PanelText(0) + '|' + status.SimpleText(), QStringLiteral("COM1 connected|Writing page 3"));

    // The message panel stretches, the last keeps its width, a state panel
    // grows to fit, and a path too long for a third of the bar loses its middle.
    status.SetStretchPanel(1);
    const QString port = QStringLiteral("/dev/ttyUSB0 connected");
    const QString path = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 connected");
    status.SetPanelText(0, port);
    EXPECT_EQ(status.PanelLabel(0)->text(), port);
    EXPECT_EQ(status.PanelLabel(2)->width(), 50);
    EXPECT_EQ(status.PanelLabel(1)->geometry().right() + 2 + 50, 747);
    // Beside a message it takes what the message leaves and loses its
    // middle; with the message panel empty it takes the room and shows whole.
    const QString message = QStringLiteral("Restore: 12 settings sent, each confirmed");
    status.SetPanelText(1, message);
    status.SetPanelText(0, path);
    const QString shown = status.PanelLabel(0)->text();
    EXPECT_TRUE(shown.startsWith("/dev/ser") && shown.endsWith("connected") && shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_EQ(status.PanelText(0), path);
    EXPECT_EQ(status.PanelLabel(0)->toolTip(), path);
    EXPECT_EQ(status.PanelLabel(1)->text(), message);
    status.SetPanelText(1, {});
    EXPECT_EQ(status.PanelLabel(0)->text(), path);
    EXPECT_EQ(status.PanelLabel(2)->geometry().right(), 747);

    TRadioGroup group;
    group.SetItems({QStringLiteral("x")});
    group.SetItems({QStringLiteral("German"), QStringLiteral("English")});  // replaces the items
    QSignalSpy clicks(&group, &TRadioGroup::clicked);
    group.SetItemIndex(1);
    EXPECT_EQ(clicks.count(), 0) << "a selection by program is no click";
    group.Button(0)->click();
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(group.ItemIndex(), 0);
    group.SetItemIndex(-1);
    EXPECT_EQ(group.ItemIndex(), -1);
    EXPECT_EQ(group.Items(), (QStringList{QStringLiteral("German"), QStringLiteral("English")}));
    EXPECT_EQ(group.ItemText(5), QString());
}
