#include "UnlURLLabel.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Replaces the desktop opener for one test and records what it was asked.
struct OpenerRecorder {
    QStringList opened;
    std::vector<std::string>* order = nullptr;
    TUnlURLLabel::Opener saved;
    explicit OpenerRecorder(std::vector<std::string>* sequence = nullptr) : order(sequence)
    {
        saved = TUnlURLLabel::UrlOpener();
        TUnlURLLabel::UrlOpener() = [this](const QString& url) {
            opened << url;
            if (order != nullptr) {
                order->push_back("open " + url.toStdString());
            }
        };
    }
    ~OpenerRecorder() { TUnlURLLabel::UrlOpener() = saved; }
};

} // namespace

TEST(UnlURLLabelTest, LooksLikeALink)
{
    TUnlURLLabel label;
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(label.font().underline());
    EXPECT_FALSE(label.font().bold());
    EXPECT_FALSE(label.font().italic());
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(label.URL().isEmpty());
}

TEST(UnlURLLabelTest, SettingTheUrlShowsItAsPlainText)
{
    TUnlURLLabel label;
    label.SetURL(QStringLiteral("https://example.org/<b>x</b>"));
    EXPECT_EQ(label.URL(), QStringLiteral("https://example.org/<b>x</b>"));
    EXPECT_EQ(label.text(), label.URL());
    EXPECT_EQ(label.textFormat(), Qt::PlainText);
}

TEST(UnlURLLabelTest, ClickRunsTheOwnHandlerFirstThenOpensTheUrl)
{
    std::vector<std::string> order;
    OpenerRecorder opener(&order);
    TUnlURLLabel label;
    label.resize(200, 20);
    label.setText(QStringLiteral("https://example.org/shown"));
    QObject::connect(&label, &TUnlURLLabel::clicked, [&] {
        order.push_back("handler");
        // The handler may still decide what is opened.
        label.SetURL(label.text());
    });
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));
    const std::vector<std::string> expected = {"handler", "open https://example.org/shown"};
    EXPECT_EQ(order, expected);
}

TEST(UnlURLLabelTest, WithoutHandlerOrUrlTheOpenerIsStillAsked)
{
    OpenerRecorder opener;
    TUnlURLLabel label;
    label.resize(100, 20);
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_EQ(opener.opened.size(), 1);
    EXPECT_TRUE(opener.opened.front().isEmpty());

    // A press that ends outside the label, or another button, opens nothing.
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(500, 5));
    QTest::mouseClick(&label, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(opener.opened.size(), 1);
}

TEST(UnlURLLabelTest, TheKeyboardOpensTheLinkOncePerPress)
{
    struct Press {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool autoRepeat;
        int opens;
    };
    const Press presses[] = {
        {"space", Qt::Key_Space, Qt::NoModifier, false, 1},
        {"return", Qt::Key_Return, Qt::NoModifier, false, 1},
        {"keypad enter", Qt::Key_Enter, Qt::KeypadModifier, false, 1},
        {"held space repeating", Qt::Key_Space, Qt::NoModifier, true, 0},
        {"ctrl+return", Qt::Key_Return, Qt::ControlModifier, false, 0},
        {"a letter", Qt::Key_A, Qt::NoModifier, false, 0},
    };
    for (const Press& p : presses) {
        SCOPED_TRACE(p.name);
        OpenerRecorder opener;
        TUnlURLLabel label;
        label.SetURL(QStringLiteral("https://example.org/kestra"));
        QSignalSpy handler(&label, &TUnlURLLabel::clicked);
        EXPECT_EQ(label.focusPolicy(), Qt::TabFocus);
        QKeyEvent press(QEvent::KeyPress, p.key, p.modifiers, QString(), p.autoRepeat);
        QCoreApplication::sendEvent(&label, &press);
        EXPECT_EQ(handler.count(), p.opens);
        EXPECT_EQ(opener.opened.size(), p.opens);
    }
}
