// Qt's own texts follow the language radio buttons: the factory-default
// question's buttons, a file dialog and an edit box's context menu.
#include "Fmain.h"
#include "Language.h"
#include "RadioGroup.h"
#include "ToolkitLanguage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

class ToolkitLanguageTest : public testing::Test {
protected:
    void TearDown() override
    {
        SetLanguageFlag(kLanguageEnglish);
        UseToolkitLanguage(false);
    }
};

// The sorted button texts of the message box that `open` shows, read while it
// is open; the box is then dismissed as with Escape.
QStringList ButtonsOfBox(const std::function<void()>& open)
{
    QStringList texts;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        poll.stop();
        for (QAbstractButton* b : box->buttons()) {
            texts << b->text();
        }
        box->reject();
    });
    poll.start();
    open();
    texts.sort();
    return texts;
}

QStringList FileDialogTexts()
{
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    auto* fileName = dialog.findChild<QLabel*>(QStringLiteral("fileNameLabel"));
    if (buttons == nullptr || fileName == nullptr) {
        return {};
    }
    return {fileName->text(), buttons->button(QDialogButtonBox::Open)->text(),
            buttons->button(QDialogButtonBox::Cancel)->text()};
}

QStringList EditMenuTexts()
{
    QLineEdit edit;
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts;
    for (QAction* a : menu->actions()) {
        if (!a->isSeparator()) {
            texts << a->text().section(QLatin1Char('\t'), 0, 0);
        }
    }
    return texts;
}

} // namespace

TEST_F(ToolkitLanguageTest, QtTextsFollowTheLanguageChoice)
{
    struct Case {
        int item;  // of the language radio buttons
        const char* factoryButtons;
        const char* fileDialog;
        const char* editMenu;
    };
    const char* const german[] = {"Abbrechen|OK", "Datei&name:|&Öffnen|Abbrechen",
        "&Rückgängig|Wieder&herstellen|&Ausschneiden|&Kopieren|Einf&ügen|Löschen|Alles auswählen"};
    const Case cases[] = {
        {0, german[0], german[1], german[2]},
        {1, "Cancel|OK", "File &name:|&Open|Cancel", "&Undo|&Redo|Cu&t|&Copy|&Paste|Delete|Select All"},
        {0, german[0], german[1], german[2]},  // and back again
    };
    const auto joined = [](const QStringList& texts) { return texts.join(QLatin1Char('|')).toStdString(); };
    TfrmMain w;
    for (const Case& c : cases) {
        w.rdgLanguage->Button(c.item)->click();
        EXPECT_EQ(joined(ButtonsOfBox([&] { w.btnFactoryClick(); })), c.factoryButtons) << c.item;
        EXPECT_EQ(joined(FileDialogTexts()), c.fileDialog) << c.item;
        EXPECT_EQ(joined(EditMenuTexts()), c.editMenu) << c.item;
    }
}
