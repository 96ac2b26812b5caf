// The panel's own settings: defaults, what is stored, and bad stores.
#include "Language.h"
#include "Lcomm.h"
#include "PanelFixture.h"
#include "RadioGroup.h"
#include "Settings.h"
#include "StatusBar.h"

#include <QComboBox>
#include <QFile>
#include <QSettings>
#include <QTabWidget>
#include <QDir>
#include <QTest>

namespace {

class AppSettings : public PanelFixture {
protected:
    void SetUp() override
    {
        PanelFixture::SetUp();
        SetLanguageFlag(kLanguageEnglish);
        LComm::SetPortOverride(dir_.filePath("no-device"));
    }
    void TearDown() override
    {
        PanelFixture::TearDown();
        SetLanguageFlag(kLanguageEnglish);
    }
    void Store(const QString& key, const QVariant& value)
    {
        QSettings s(settingsFile_, QSettings::IniFormat);
        s.setValue(key, value);
    }
    QVariant Stored(const QString& key) const
    {
        QSettings s(settingsFile_, QSettings::IniFormat);
        return s.value(key);
    }
    void ShowWindow()
    {
        BuildWindow();
        w_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w_.get()));
    }
};

TEST_F(AppSettings, FirstRunStoresTheDefaults)
{
    ShowWindow();
    EXPECT_EQ(Stored("Port No").toInt(), 1);
    EXPECT_EQ(Stored("Language").toInt(), 0);
    EXPECT_EQ(w_->PortNo, 1);
    EXPECT_EQ(w_->cbCOM->currentText(), "COM1");
    EXPECT_EQ(w_->rdgLanguage->ItemIndex(), 1);
}

TEST_F(AppSettings, StoredGermanStartsGermanBeforeConnecting)
{
    Store("Port No", 3);
    Store("Language", 1);
    ShowWindow();
    EXPECT_EQ(LanguageFlag(), kLanguageGerman);
    EXPECT_EQ(w_->rdgLanguage->ItemIndex(), 0);
    EXPECT_EQ(w_->PageControl1->tabText(0), "Bedienfeld");
    EXPECT_EQ(w_->cbCOM->currentText(), "COM3");
    EXPECT_EQ(Status(0), "keine Verbindung") << "the connection attempt came after the language";
    EXPECT_EQ(Stored("Form Size").toInt(), 0) << "written when the store already existed";
}

TEST_F(AppSettings, PortChangeIsWrittenAtOnceWithoutReconnecting)
{
    ShowWindow();
    w_->cbCOM->setCurrentIndex(4);
    w_->cbCOMChange();
    EXPECT_EQ(w_->PortNo, 5);
    EXPECT_EQ(Stored("Port No").toInt(), 5);
}

TEST_F(AppSettings, LanguageIsStoredOnlyWhenTheWindowCloses)
{
    ShowWindow();
    w_->rdgLanguage->SetItemIndex(0);
    w_->rdgLanguageClick();
    EXPECT_EQ(Stored("Language").toInt(), 0);
    w_->close();
    EXPECT_EQ(Stored("Language").toInt(), 1);
    EXPECT_EQ(Stored("Port No").toInt(), 1);
}

struct BadCase {
    const char* name;
    QVariant port;
    QVariant language;
};

class BadStore : public AppSettings, public testing::WithParamInterface<BadCase> {};

TEST_P(BadStore, LeavesCom1AndEnglish)
{
    Store("Port No", GetParam().port);
    Store("Language", GetParam().language);
    ShowWindow();
    EXPECT_EQ(w_->PortNo, 1);
    EXPECT_EQ(w_->cbCOM->currentText(), "COM1");
    EXPECT_EQ(LanguageFlag(), kLanguageEnglish);
    EXPECT_EQ(w_->rdgLanguage->ItemIndex(), 1);
}

INSTANTIATE_TEST_SUITE_P(Values, BadStore,
    testing::Values(BadCase{"port_0", 0, 0}, BadCase{"port_9", 9, 0}, BadCase{"port_negative", -3, 2},
                    BadCase{"language_7", 1, 7}, BadCase{"text", QString("COM4"), QString("deutsch")},
                    BadCase{"huge", QVariant(qlonglong(1) << 40), QVariant(qlonglong(1) << 33)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppSettings, UnreadableStoreLeavesTheDefaultsSilently)
{
    // A directory where the settings file should be: nothing can be read or written.
    ASSERT_TRUE(QDir(dir_.path()).mkdir("settings.ini"));
    ShowWindow();
    EXPECT_EQ(w_->PortNo, 1);
    EXPECT_EQ(LanguageFlag(), kLanguageEnglish);
    EXPECT_TRUE(dialogs_->asked.empty());
    EXPECT_EQ(Status(0), "disconnect");
}

TEST(StoredValues, OnlyValidValuesReplaceTheDefaults)
{
    PanelSettings s;
    ApplyStoredPort(QVariant(8), s);
    EXPECT_EQ(s.portNo, 8);
    ApplyStoredPort(QVariant(), s);
    ApplyStoredPort(QVariant(12), s);
    ApplyStoredPort(QVariant(QString("x")), s);
    EXPECT_EQ(s.portNo, 8);
    ApplyStoredLanguage(QVariant(1), s);
    EXPECT_EQ(s.language, 1);
    ApplyStoredLanguage(QVariant(2), s);
    ApplyStoredLanguage(QVariant(-1), s);
    EXPECT_EQ(s.language, 1);
    ApplyStoredLanguage(QVariant(QString("0")), s);
    EXPECT_EQ(s.language, 0) << "a number stored as text still counts";
}

}  // namespace
