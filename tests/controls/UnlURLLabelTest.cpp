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
