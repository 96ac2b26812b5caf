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
    EXPECT_EQ(StoredInt("Port No"), 1);
    EXPECT_EQ(StoredInt("Language"), 0);
    EXPECT_EQ(w_->PortNo, 1);
    EXPECT_EQ(w_->cbCOM->currentText(), "COM1");
    EXPECT_EQ(w_->rdgLanguage->ItemIndex(), 1);
}

TEST_F(AppSettings, LanguageIsStoredOnlyWhenTheWindowCloses)
{
    ShowWindow();
    w_->rdgLanguage->SetItemIndex(0);
    w_->rdgLanguageClick();
    EXPECT_EQ(StoredInt("Language"), 0);
    w_->close();
    EXPECT_EQ(StoredInt("Language"), 1);
    EXPECT_EQ(StoredInt("Port No"), 1);
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

TEST_F(AppSettings, PortChangeIsWrittenAtOnceWithoutReconnecting)
{
    ShowWindow();
    w_->cbCOM->setCurrentIndex(4);
    w_->cbCOMChange();
    EXPECT_EQ(w_->PortNo, 5);
    EXPECT_EQ(StoredInt("Port No"), 5);
}

}  // namespace
