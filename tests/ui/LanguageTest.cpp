// The language choice: the string table's +1000 rule, the window's captions
// and Qt's own texts (message box buttons, an edit box's context menu) follow
// the radio buttons there and back, and in each language nothing the user
// sees overlaps, sticks out of its parent or is cut off.
#include "Fmain.h"
#include "Language.h"
#include "Panel.h"
#include "PortErrors.h"
#include "RadioGroup.h"
#include "StatusBar.h"
#include "ToolkitLanguage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>

namespace {

class Language : public testing::Test {
protected:
    void TearDown() override
    {
        SetLanguageFlag(kLanguageEnglish);
        UseToolkitLanguage(false);
    }
};

// The caption and button texts of the message box that `open` shows, read
// while it is open; the box is then dismissed as with Escape.
QString ButtonsOfBox(const std::function<void()>& open)
{
    QStringList texts;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            poll.stop();
            texts << box->windowTitle() + ':';
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

// Named visible widgets inside `parent` do not overlap and lie within it.
void ExpectTidy(QWidget* parent)
{
    QList<QWidget*> kids;
    for (auto* k : parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!k->isHidden() && !k->isWindow() && !k->objectName().isEmpty()) {
            kids << k;
        }
    }
    for (int i = 0; i < kids.size(); ++i) {
        const std::string name = kids[i]->objectName().toStdString();
        EXPECT_TRUE(parent->rect().contains(kids[i]->geometry())) << name << " sticks out";
        for (int j = i + 1; j < kids.size(); ++j) {
            EXPECT_FALSE(kids[i]->geometry().intersects(kids[j]->geometry()))
                << name << " overlaps " << kids[j]->objectName().toStdString();
        }
        ExpectTidy(kids[i]);
    }
}

// Whether the caption `widget` shows fits it.
bool CaptionFits(QWidget* widget)
{
    const QFontMetrics fm = widget->fontMetrics();
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return fm.horizontalAdvance(label->text()) <= label->contentsRect().width() && fm.height() <= label->height();
    }
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        return fm.horizontalAdvance(button->text()) + 8 <= button->width();
    }
    if (auto* panel = qobject_cast<TPanel*>(widget)) {
        return fm.horizontalAdvance(panel->Caption()) + 4 <= panel->width();
    }
    if (auto* group = qobject_cast<TRadioGroup*>(widget)) {
        for (int i = 0; i < group->Count(); ++i) {
            const QWidget* item = group->Button(i);
            if (item->sizeHint().width() > item->width() || item->geometry().bottom() > group->contentsRect().bottom()) {
                return false;
            }
        }
    }
    if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        return fm.horizontalAdvance(box->title()) + 16 <= box->width();
    }
    return true;
}

} // namespace

// The original table, English and German by English id; the two address
// lines (30093, 30094) are ours to word, so only their presence counts.
const struct { int id; const char *english, *german; } kOriginalTable[] = {
    {30001, "Control-Panel", "Bedienfeld"}, {30002, "Preferences", "Einstellungen"},
    {30003, "Preset", "Voreinstellung"}, {30004, "load", "laden"}, {30005, "save", "speichern"},
    {30006, "Manual", "manuelles"}, {30007, "Input", "Eingang"}, {30008, "Output", "Ausgang"}, {30025, "off", "aus"},
    {30028, "steps", "Stufen"}, {30047, "Cancel", "Abbrechen"}, {30049, "switch-on state:", "Anschaltzustand"},
    {30050, "as switched off", "wie ausgeschaltet"}, {30058, "Threshold", "Ansprechschwelle"},
    {30059, "Hold time", "Haltezeit"}, {30060, "short", "kurz"}, {30061, "long", "lang"},
    {30062, "Attenuation", "Daempfung"}, {30063, "fast", "schnell"}, {30064, "slow", "langsam"},
    {30065, "Fade in", "Einblenden"}, {30066, "Fade out", "Ausblenden"}, {30076, "connect", "verbinden"},
    {30080, "Speed", "Geschwindigkeit"}, {30082, "Protocol", "Protokoll"}, {30083, "Data bits:", "Daten bits:"},
    {30084, "Parity:", "Paritaet:"}, {30085, "Stop bits:", "Stop bits:"}, {30086, "none", "kein"},
    {30102, "Wait, until KESTRA is ready", "warte, bis KESTRA bereit"}, {30103, "general error", "Fehler allgemein"},
    {30104, "RS 232 receive buffer overflow", "RS-232 Receive-Buffer Uberlauf"},
    {30105, "RS 232 receive framing error", "RS-232 Receive Framing-Error"},
    {30106, "request ID unknown", "ID der Anforderung unbekannt"},
    {30107, "request data invalid", "Daten der Anforderung ungultig"},
    {30108, "read line source not plausible", "Linequelle einlesen unplausibel"},
    {30109, "select line source inactive", "Linequelle schalten inaktiv"},
    {30110, "EEPROM acknowledged when writing", "EEPROM Acknowledge beim Schreiben"},
    {30111, "EEPROM acknowledged when reading", "EEPROM Acknowledge beim Lesen"},
    {30112, "EEPROM not yet programmed", "EEPROM noch nicht programmiert"}, {30114, "error message", "Fehlermeldung"},
    {30116, "disconnect", "keine Verbindung"}, {30117, "connected", "verbinden"},
    {30119, "KESTRA connection error!", "KESTRA connection error!"}, {30121, "disconnect", "trennen"},
    {30122, "view message", "Meldungen anzeigen"}, {30124, "load factory default", "Werkseinstellungen laden"},
    {30125, "Language", "Sprache"}, {30126, "German", "Deutsch"}, {30127, "English", "Englisch"},
    {30128, "Warning", "Warnung"},
    {30129, "All Preset will be delete !! \nDo you want to continue?", "Alle Einstellungen werden geloscht! \nWollen Sie fortfahren?"},
    {30093, nullptr, nullptr}, {30094, nullptr, nullptr},
};

TEST_F(Language, EveryOriginalTextSitsAtItsIdAndNothingElseInItsRange)
{
    std::map<int, const char*> expected;
    for (const auto& row : kOriginalTable) {
        expected[row.id] = row.english;
        expected[row.id + kGermanOffset] = row.german;
    }
    for (const auto& [id, text] : expected) {
        EXPECT_TRUE(HasString(id)) << id;
        EXPECT_TRUE(text == nullptr || StringAt(id) == QLatin1String(text)) << id << ": " << StringAt(id).toStdString();
    }
    for (int i = 0; i < StringCount(); ++i) {
        const int id = StringIdAt(i), english = id >= 31001 ? id - kGermanOffset : id;
        EXPECT_TRUE(english > 30129 || expected.count(id) == 1) << id << " is not in the original table";
        EXPECT_TRUE(HasString(english) && HasString(english + kGermanOffset)) << id << " lacks its other language";
    }
    for (const auto& [flag, text] : {std::pair{0, "Control-Panel"}, {1, "Bedienfeld"}, {2, "Control-Panel"},
                                     {255, "Control-Panel"}}) {
        SetLanguageFlag(static_cast<std::uint8_t>(flag));
        EXPECT_EQ(LoadStr(30001), QString::fromLatin1(text)) << flag;
    }
    EXPECT_TRUE(LoadStr(30009).isEmpty()) << "an id the table lacks gives an empty text";
}

TEST_F(Language, CaptionsFollowTheChoiceThereAndBackAndFit)
{
    TfrmMain w;
    EXPECT_TRUE(w.lblVersion->text().contains(QStringLiteral(KESTRA_TEST_VERSION))) << "the About tab's version";
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    // Qt's own texts, such as an edit box's context menu, come from its catalogue.
    const QString english = "Cancel|OK|Warning:;&Undo", german = "Abbrechen|OK|Warnung:;&Rückgängig";
    for (const auto& [item, qtTexts] : {std::pair{1, english}, {0, german}, {1, english}}) {
        SCOPED_TRACE(item == 0 ? "German" : "English");
        w.PageControl1->setCurrentWidget(w.tabCOM);
        QWidget* button = w.rdgLanguage->Button(item);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(7, button->height() / 2));  // on the round indicator
        EXPECT_EQ(w.rdgLanguage->ItemIndex(), item) << "renaming the items keeps the selection";
        const int offset = item == 0 ? 1000 : 0;
        for (const auto& [shown, id] : {std::pair{w.PageControl1->tabText(0), 30001}, {w.btnFactory->text(), 30124},
                                        {w.rgProtocol->Caption(), 30082}, {w.rdgLanguage->Caption(), 30125},
                                        {w.rdgLanguage->ItemText(0), 30126}, {w.rdgLanguage->ItemText(1), 30127},
                                        {w.cbParity->currentText(), 30086}, {w.sbMain->PanelText(0), 30116}}) {
            EXPECT_EQ(shown, StringAt(id + offset)) << id;
        }
        // Captions the language leaves alone.
        EXPECT_EQ(w.PageControl1->tabText(2), "COM");
        EXPECT_EQ(w.Panel[1]->Caption(), "mute");
        EXPECT_EQ(ButtonsOfBox([&] { w.btnFactoryClick(); }) + ';' + QCoreApplication::translate("QLineEdit", "&Undo"),
                  qtTexts);
        // So do the reasons a port would not open.
        EXPECT_EQ(comm::LineSettingsRefusedText("COM1", 9600),
                  item == 0 ? "COM1 hat die Leitungseinstellungen abgelehnt (9600 Baud)."
                            : "COM1 refused the line settings (9600 baud).");
        for (QWidget* page : {w.tabControl, w.tabPreferences, w.tabCOM, w.TabSheet4}) {
            SCOPED_TRACE(page->objectName().toStdString());
            w.PageControl1->setCurrentWidget(page);  // laid out only while current
            QCoreApplication::sendPostedEvents();
            ExpectTidy(page);
            for (QObject* o : w.Components()) {
                auto* c = qobject_cast<QWidget*>(o);
                EXPECT_TRUE(c == nullptr || c->isHidden() || !page->isAncestorOf(c) || CaptionFits(c))
                    << o->objectName().toStdString() << " cut off";
            }
        }
        QTabBar* tabs = w.PageControl1->tabBar();
        int total = 0;
        for (int i = 0; i < tabs->count(); ++i) {
            EXPECT_GE(tabs->tabRect(i).width(), tabs->fontMetrics().horizontalAdvance(tabs->tabText(i)));
            total += tabs->tabRect(i).width();
        }
        EXPECT_LE(total, w.PageControl1->width());
    }
}
