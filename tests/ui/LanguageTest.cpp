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

TEST_F(LanguageTest, TableIsPairedAsciiAndInRange)
{
    int english = 0;
    for (int i = 0; i < StringCount(); ++i) {
        const int id = StringIdAt(i);
        const bool isEnglish = id >= 30001 && id <= 30129;
        const bool isGerman = id >= 31001 && id <= 31129;
        ASSERT_TRUE(isEnglish || isGerman) << id;
        english += isEnglish ? 1 : 0;
        EXPECT_TRUE(HasString(isEnglish ? id + 1000 : id - 1000)) << "no partner for " << id;
        const QString text = StringAt(id);
        EXPECT_FALSE(text.isEmpty()) << id;
        for (QChar ch : text) {
            EXPECT_TRUE(ch.unicode() < 128 && (ch.isPrint() || ch == QLatin1Char('\n'))) << id;
        }
        // No real address in the table: neutral text only.
        if (id % 1000 == 93 || id % 1000 == 94) {
            EXPECT_TRUE(text == QStringLiteral("KESTRA Remote Panel") || text.contains(QStringLiteral("example.org")))
                << id;
        }
    }
    EXPECT_EQ(english, 54);
}

TEST_F(LanguageTest, TextsThatAreEasyToGetWrong)
{
    struct Case {
        int id;
        const char* text;
    };
    const Case cases[] = {
        {30129, "All Preset will be delete !! \nDo you want to continue?"},
        {31129, "Alle Einstellungen werden geloscht! \nWollen Sie fortfahren?"},
        {30121, "disconnect"},
        {31117, "verbinden"},
        {31119, "KESTRA connection error!"},
        {31085, "Stop bits:"},
        {31062, "Daempfung"},
        {31104, "RS-232 Receive-Buffer Uberlauf"},
        {31107, "Daten der Anforderung ungultig"},
        {31049, "Anschaltzustand"},
        {30049, "switch-on state:"},
        {31102, "warte, bis KESTRA bereit"},
        {31047, "Abbrechen"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StringAt(c.id), QString::fromLatin1(c.text)) << c.id;
    }
    // The device's error texts are a run of eleven ids without gaps.
    for (int id = 30102; id <= 30112; ++id) {
        EXPECT_TRUE(HasString(id)) << id;
    }
}

namespace {

// Every caption that applying the language sets, with its id.
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
    const auto group = [](QGroupBox* W::*m) { return [m](W& w) { return (w.*m)->title(); }; };
    return {
        {"tabControl", tab(&W::tabControl), 30001},
        {"tabPreferences", tab(&W::tabPreferences), 30002},
        {"gbInput", group(&W::gbInput), 30007},
        {"gbOutput", group(&W::gbOutput), 30008},
        {"gbPreset", group(&W::gbPreset), 30003},
        {"btnLoad", button(&W::btnLoad), 30004},
        {"btnSave", button(&W::btnSave), 30005},
        {"lblManual", label(&W::lblManual), 30006},
        {"btnOff", button(&W::btnOff), 30025},
        {"lblThreadhold", label(&W::lblThreadhold), 30058},
        {"lblAttenuation", label(&W::lblAttenuation), 30062},
        {"lblstep", label(&W::lblstep), 30028},
        {"lblshort", label(&W::lblshort), 30060},
        {"lblHoldtime", label(&W::lblHoldtime), 30059},
        {"lblLong", label(&W::lblLong), 30061},
        {"lblFast1", label(&W::lblFast1), 30063},
        {"lblFast2", label(&W::lblFast2), 30063},
        {"lblSlow1", label(&W::lblSlow1), 30064},
        {"lblSlow2", label(&W::lblSlow2), 30064},
        {"lblDuckFadeIn", label(&W::lblDuckFadeIn), 30065},
        {"lblDuckFadeOut", label(&W::lblDuckFadeOut), 30066},
        {"lblSpeed", label(&W::lblSpeed), 30080},
        {"btnConnect", button(&W::btnConnect), 30076},
        {"btnDisconnect", button(&W::btnDisconnect), 30121},
        {"btnViewmessages", button(&W::btnViewmessages), 30122},
        {"lblDataBit", label(&W::lblDataBit), 30083},
        {"lblParity", label(&W::lblParity), 30084},
        {"lblStopBits", label(&W::lblStopBits), 30085},
        {"rgProtocol", [](W& w) { return w.rgProtocol->Caption(); }, 30082},
        {"gbswitchon", group(&W::gbswitchon), 30049},
        {"lblPreset", label(&W::lblPreset), 30003},
        {"swOff", [](W& w) { return w.swOff->Caption(); }, 30050},
        {"btnFactory", button(&W::btnFactory), 30124},
        {"rdgLanguage", [](W& w) { return w.rdgLanguage->Caption(); }, 30125},
        {"rdgLanguage item 0", [](W& w) { return w.rdgLanguage->ItemText(0); }, 30126},
        {"rdgLanguage item 1", [](W& w) { return w.rdgLanguage->ItemText(1); }, 30127},
        {"rgProtocol item 0", [](W& w) { return w.rgProtocol->ItemText(0); }, 30086},
        {"cbParity", [](W& w) { return w.cbParity->currentText(); }, 30086},
        {"status panel 0", [](W& w) { return w.sbMain->PanelText(0); }, 30116},
    };
}

// Captions the language leaves alone, with their design-time text.
struct Fixed {
    const char* what;
    std::function<QString(TfrmMain&)> get;
    const char* text;
};

std::vector<Fixed> FixedCaptions()
{
    return {
        {"tab COM", [](TfrmMain& w) { return w.PageControl1->tabText(2); }, "COM"},
        {"About tab", [](TfrmMain& w) { return w.PageControl1->tabText(3); }, "     ?"},
        {"Label1", [](TfrmMain& w) { return w.Label1->text(); }, "MIC 1"},
        {"Panel1", [](TfrmMain& w) { return w.Panel[1]->Caption(); }, "mute"},
        {"btnduck2", [](TfrmMain& w) { return w.btnduck[2]->Caption(); }, "prior"},
        {"btnSubGanged", [](TfrmMain& w) { return w.btnSubGanged->Caption(); }, "ganged"},
        {"swPreset1", [](TfrmMain& w) { return w.swPreset[1]->Caption(); }, "1"},
        {"Label48", [](TfrmMain& w) { return w.Label48->text(); }, "Ducking"},
        {"btnTuner", [](TfrmMain& w) { return w.btnTuner->text(); }, "Tuner"},
        {"rgProtocol item 1", [](TfrmMain& w) { return w.rgProtocol->ItemText(1); }, "Xon/Xoff"},
        {"Label27", [](TfrmMain& w) { return w.Label27->text(); }, "Port "},
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

    // Where the table's English differs from the design-time captions.
    EXPECT_EQ(w.lblHoldtime->text(), QStringLiteral("Hold time"));
    EXPECT_EQ(w.gbswitchon->title(), QStringLiteral("switch-on state:"));
    EXPECT_EQ(w.lblstep->text(), QStringLiteral("steps"));
    EXPECT_EQ(w.lblPreset->text(), QStringLiteral("Preset"));
    EXPECT_EQ(w.lblDuckFadeIn->text(), QStringLiteral("Fade in"));
    EXPECT_EQ(w.lblDuckFadeOut->text(), QStringLiteral("Fade out"));
    EXPECT_EQ(w.lblDataBit->text(), QStringLiteral("Data bits:"));
}

TEST_F(LanguageTest, ClickWithoutASelectedItemDoesNothing)
{
    TfrmMain w;
    SetLanguageFlag(kLanguageGerman);
    w.rdgLanguage->SetItemIndex(-1);
    w.rdgLanguageClick();
    EXPECT_EQ(LanguageFlag(), kLanguageGerman);
    EXPECT_EQ(w.btnLoad->text(), QStringLiteral("load")) << "nothing applied";
}

TEST_F(LanguageTest, StatusPanelFollowsTheLanguageWhileConnected)
{
    TfrmMain w;
    // ApplyLanguage only asks whether there is a connection; a stand-in
    // pointer that is never dereferenced is enough for that.
    alignas(std::max_align_t) char standIn[64];
    w.Comm = reinterpret_cast<LCommProc*>(standIn);
    w.PortNo = 3;
    SetLanguageFlag(kLanguageGerman);
    w.ApplyLanguage();
    EXPECT_EQ(w.sbMain->PanelText(0), QStringLiteral("COM3 verbinden"));
    SetLanguageFlag(kLanguageEnglish);
    w.ApplyLanguage();
    EXPECT_EQ(w.sbMain->PanelText(0), QStringLiteral("COM3 connected"));
    w.Comm = nullptr;
    w.ApplyLanguage();
    EXPECT_EQ(w.sbMain->PanelText(0), QStringLiteral("disconnect"));
    EXPECT_TRUE(w.sbMain->PanelText(2).isEmpty());
}
