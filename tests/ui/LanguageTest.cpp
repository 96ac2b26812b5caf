// The language choice: the string table's +1000 rule, the window's captions
// and Qt's own texts (message box buttons, an edit box's context menu) follow
// the radio buttons there and back.
#include "Fmain.h"
#include "Language.h"
#include "Panel.h"
#include "RadioGroup.h"
#include "StatusBar.h"
#include "ToolkitLanguage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class Language : public testing::Test {
protected:
    void TearDown() override
    {
        SetLanguageFlag(kLanguageEnglish);
        UseToolkitLanguage(false);
    }
};

// The texts of the message box that `open` shows, read while it is open;
// the box is then dismissed as with Escape.
QString ButtonsOfBox(const std::function<void()>& open)
{
    QStringList texts;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            poll.stop();
            for (QAbstractButton* b : box->buttons()) {
                texts << b->text();
            }
            box->reject();
        }
    });
    poll.start(5);
    open();
    texts.sort();
    return texts.join('|');
}

QString EditMenu()
{
    QLineEdit edit;
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts;
    for (QAction* a : menu->actions()) {
        if (!a->isSeparator()) {
            texts << a->text().section('\t', 0, 0);
        }
    }
    return texts.join('|');
}

} // namespace

TEST_F(Language, LoaderAddsThousandOnlyForFlagOne)
{
    for (const auto& [flag, text] : {std::pair{0, "Control-Panel"}, {1, "Bedienfeld"}, {2, "Control-Panel"},
                                     {255, "Control-Panel"}}) {
        SetLanguageFlag(static_cast<std::uint8_t>(flag));
        EXPECT_EQ(LoadStr(30001), QString::fromLatin1(text)) << flag;
    }
    EXPECT_TRUE(LoadStr(30009).isEmpty()) << "an id the table lacks gives an empty text";
}

TEST_F(Language, CaptionsAndQtTextsFollowTheChoiceThereAndBack)
{
    TfrmMain w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.PageControl1->setCurrentWidget(w.tabCOM);
    const QString english = "Cancel|OK;&Undo|&Redo|Cu&t|&Copy|&Paste|Delete|Select All";
    const QString german = "Abbrechen|OK;&Rückgängig|Wieder&herstellen|&Ausschneiden|&Kopieren|Einf&ügen|Löschen|"
                           "Alles auswählen";
    for (const auto& [item, qtTexts] : {std::pair{0, german}, {1, english}, {0, german}}) {
        SCOPED_TRACE(item);
        QWidget* button = w.rdgLanguage->Button(item);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(7, button->height() / 2));  // on the round indicator
        EXPECT_EQ(w.rdgLanguage->ItemIndex(), item) << "renaming the items keeps the selection";
        const int offset = item == 0 ? 1000 : 0;
        EXPECT_EQ(w.PageControl1->tabText(0), StringAt(30001 + offset));
        EXPECT_EQ(w.btnFactory->text(), StringAt(30124 + offset));
        EXPECT_EQ(w.rgProtocol->Caption(), StringAt(30082 + offset));
        EXPECT_EQ(w.rdgLanguage->ItemText(0), StringAt(30126 + offset));
        EXPECT_EQ(w.cbParity->currentText(), StringAt(30086 + offset));
        EXPECT_EQ(w.sbMain->PanelText(0), StringAt(30116 + offset));
        // Captions the language leaves alone.
        EXPECT_EQ(w.PageControl1->tabText(2), "COM");
        EXPECT_EQ(w.Panel[1]->Caption(), "mute");
        EXPECT_EQ(ButtonsOfBox([&] { w.btnFactoryClick(); }) + ';' + EditMenu(), qtTexts);
    }
}
