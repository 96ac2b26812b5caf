// The panel's own settings: defaults, what is stored when, and bad stores.
#include "Language.h"
#include "Lcomm.h"
#include "PanelFixture.h"
#include "RadioGroup.h"

#include <QComboBox>
#include <QFile>
#include <QSettings>
#include <QTest>

namespace {

class AppSettings : public PanelFixture {
protected:
    void TearDown() override
    {
        PanelFixture::TearDown();
        SetLanguageFlag(kLanguageEnglish);
    }
    // Shown without a device; what the window took from the store.
    std::string ShowWindow()
    {
        LComm::SetPortOverride(dir_.filePath("no-device"));
        BuildWindow();
        w_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w_.get()));
        return std::to_string(w_->PortNo) + " " + w_->cbCOM->currentText().toStdString() + " " +
               std::to_string(LanguageFlag() == kLanguageEnglish) + std::to_string(w_->rdgLanguage->ItemIndex());
    }
};

TEST_F(AppSettings, DefaultsAtFirstRunPortAtOnceLanguageOnClosing)
{
    EXPECT_EQ(ShowWindow(), "1 COM1 11");
    EXPECT_EQ(StoredInt("Port No"), 1);
    EXPECT_EQ(StoredInt("Language"), 0);
    w_->cbCOM->setCurrentIndex(4);
    w_->cbCOMChange();
    EXPECT_EQ(StoredInt("Port No"), 5) << "written at once";
    w_->rdgLanguage->SetItemIndex(0);
    w_->rdgLanguageClick();
    EXPECT_EQ(StoredInt("Language"), 0) << "not before the window closes";
    w_->close();
    EXPECT_EQ(StoredInt("Language"), 1);
    EXPECT_EQ(ShowWindow(), "5 COM5 00") << "the next start reads both back";
}

TEST_F(AppSettings, BadStoresLeaveCom1AndEnglish)
{
    const struct { QVariant port, language; } cases[] = {
        {0, 0}, {9, 0}, {-3, 2}, {1, 7}, {QString("COM4"), QString("deutsch")},
        {QVariant(qlonglong(1) << 40), QVariant(qlonglong(1) << 33)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port.toString().toStdString());
        QFile::remove(settingsFile_);
        QSettings(settingsFile_, QSettings::IniFormat).setValue("Port No", c.port);
        QSettings(settingsFile_, QSettings::IniFormat).setValue("Language", c.language);
        EXPECT_EQ(ShowWindow(), "1 COM1 11");
    }
}

}  // namespace
