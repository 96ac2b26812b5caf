// The string table, the loader's +1000 rule and applying the language to the
// window.
#include "Fmain.h"
#include "Language.h"
#include "Panel.h"
#include "RadioGroup.h"
#include "StatusBar.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class LanguageTest : public testing::Test {
protected:
    void SetUp() override { SetLanguageFlag(kLanguageEnglish); }
    void TearDown() override { SetLanguageFlag(kLanguageEnglish); }
};

} // namespace

namespace {

// Captions that applying the language sets, with their ids (a sample of each kind).
struct Caption {
    const char* what;
    std::function<QString(TfrmMain&)> get;
    int id;
};

std::vector<Caption> AppliedCaptions()
{
    using W = TfrmMain;
    const auto tab = [](QWidget* W::*page) {
        return [page](W& w) { return w.PageControl1->tabText(w.PageControl1->indexOf(w.*page)); };
    };
    const auto label = [](QLabel* W::*m) { return [m](W& w) { return (w.*m)->text(); }; };
    const auto button = [](QPushButton* W::*m) { return [m](W& w) { return (w.*m)->text(); }; };
    return {
        {"tabControl", tab(&W::tabControl), 30001},
        {"btnLoad", button(&W::btnLoad), 30004},
        {"lblManual", label(&W::lblManual), 30006},
        {"btnConnect", button(&W::btnConnect), 30076},
        {"btnDisconnect", button(&W::btnDisconnect), 30121},
        {"rgProtocol", [](W& w) { return w.rgProtocol->Caption(); }, 30082},
        {"btnFactory", button(&W::btnFactory), 30124},
        {"rdgLanguage item 0", [](W& w) { return w.rdgLanguage->ItemText(0); }, 30126},
        {"cbParity", [](W& w) { return w.cbParity->currentText(); }, 30086},
        {"status panel 0", [](W& w) { return w.sbMain->PanelText(0); }, 30116},
    };
}

// Captions the language leaves alone (a sample).
struct Fixed {
    const char* what;
    std::function<QString(TfrmMain&)> get;
    const char* text;
};

std::vector<Fixed> FixedCaptions()
{
    return {
        {"tab COM", [](TfrmMain& w) { return w.PageControl1->tabText(2); }, "COM"},
        {"Panel1", [](TfrmMain& w) { return w.Panel[1]->Caption(); }, "mute"},
        {"btnduck2", [](TfrmMain& w) { return w.btnduck[2]->Caption(); }, "prior"},
        {"rgProtocol item 1", [](TfrmMain& w) { return w.rgProtocol->ItemText(1); }, "Xon/Xoff"},
    };
}

void ExpectLanguage(TfrmMain& w, std::uint8_t flag)
{
    for (const Caption& c : AppliedCaptions()) {
        EXPECT_EQ(c.get(w), StringAt(flag == kLanguageGerman ? c.id + 1000 : c.id)) << c.what;
    }
    for (const Fixed& f : FixedCaptions()) {
        EXPECT_EQ(f.get(w), QString::fromLatin1(f.text)) << f.what;
    }
}

} // namespace

TEST_F(LanguageTest, GermanThenEnglishLeavesTheTablesEnglish)
{
    TfrmMain w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    // A user's click on "German", then on "English", on the round indicators.
    w.PageControl1->setCurrentWidget(w.tabCOM);
    const auto onIndicator = [&](int item) { return QPoint(7, w.rdgLanguage->Button(item)->height() / 2); };
    QTest::mouseClick(w.rdgLanguage->Button(0), Qt::LeftButton, {}, onIndicator(0));
    EXPECT_EQ(LanguageFlag(), kLanguageGerman);
    ExpectLanguage(w, kLanguageGerman);
    EXPECT_EQ(w.rdgLanguage->ItemIndex(), 0) << "renaming the items keeps the selection";

    QTest::mouseClick(w.rdgLanguage->Button(1), Qt::LeftButton, {}, onIndicator(1));
    EXPECT_EQ(LanguageFlag(), kLanguageEnglish);
    ExpectLanguage(w, kLanguageEnglish);
    EXPECT_EQ(w.rdgLanguage->ItemIndex(), 1);

}

TEST_F(LanguageTest, LoaderAddsThousandOnlyForFlagOne)
{
    struct Case {
        std::uint8_t flag;
        const char* text;
    };
    const Case cases[] = {{0, "Control-Panel"}, {1, "Bedienfeld"}, {2, "Control-Panel"}, {255, "Control-Panel"}};
    for (const Case& c : cases) {
        SetLanguageFlag(c.flag);
        EXPECT_EQ(LoadStr(30001), QString::fromLatin1(c.text)) << int(c.flag);
    }
    SetLanguageFlag(kLanguageGerman);
    EXPECT_EQ(LoadStr(30116), QStringLiteral("keine Verbindung"));
    EXPECT_TRUE(LoadStr(30009).isEmpty()) << "an id the table lacks gives an empty text";
}
