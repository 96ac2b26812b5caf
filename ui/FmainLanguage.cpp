// Rewrites the window's captions from the string table in the language in
// force. Controls not named here keep their captions in both languages.
#include "Fmain.h"

#include "Language.h"
#include "Panel.h"
#include "PortErrors.h"
#include "PortSearch.h"
#include "RadioGroup.h"
#include "ToolkitLanguage.h"
#include "WindowAdditions.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

void TfrmMain::ApplyLanguage()
{
    UseToolkitLanguage(LanguageFlag() == kLanguageGerman);
    comm::UseGermanErrorTexts(LanguageFlag() == kLanguageGerman);
    const auto tab = [this](QWidget* page, int id) {
        PageControl1->setTabText(PageControl1->indexOf(page), LoadStr(id));
    };

    tab(tabControl, 30001);
    tab(tabPreferences, 30002);
    gbInput->setTitle(LoadStr(30007));
    gbOutput->setTitle(LoadStr(30008));
    gbPreset->setTitle(LoadStr(30003));
    btnLoad->setText(LoadStr(30004));
    btnSave->setText(LoadStr(30005));
    lblManual->setText(LoadStr(30006));
    btnOff->setText(LoadStr(30025));

    lblThreadhold->setText(LoadStr(30058));
    lblAttenuation->setText(LoadStr(30062));
    lblstep->setText(LoadStr(30028));
    lblshort->setText(LoadStr(30060));
    lblHoldtime->setText(LoadStr(30059));
    lblLong->setText(LoadStr(30061));
    lblFast1->setText(LoadStr(30063));
    lblFast2->setText(LoadStr(30063));
    lblSlow1->setText(LoadStr(30064));
    lblSlow2->setText(LoadStr(30064));
    lblDuckFadeIn->setText(LoadStr(30065));
    lblDuckFadeOut->setText(LoadStr(30066));

    lblSpeed->setText(LoadStr(30080));
    btnConnect->setText(LoadStr(30076));
    btnDisconnect->setText(LoadStr(30121));
    btnViewmessages->setText(LoadStr(30122));
    lblDataBit->setText(LoadStr(30083));
    lblParity->setText(LoadStr(30084));
    lblStopBits->setText(LoadStr(30085));
    rgProtocol->SetCaption(LoadStr(30082));
    gbswitchon->setTitle(LoadStr(30049));
    lblPreset->setText(LoadStr(30003));
    swOff->SetCaption(LoadStr(30050));
    btnFactory->setText(LoadStr(30124));
    rdgLanguage->SetCaption(LoadStr(30125));

    rdgLanguage->SetItemText(0, LoadStr(30126));
    rdgLanguage->SetItemText(1, LoadStr(30127));

    rgProtocol->SetItemText(0, LoadStr(30086));
    cbParity->setItemText(0, LoadStr(30086));

    if (Connected()) {
        ShowConnectionState(QStringLiteral("%1 %2").arg(ConnectionName(), LoadStr(30117)));
    } else {
        ShowConnectionState(LoadStr(30116));
    }
    if (additions_) {
        additions_->ApplyLanguage();
    }
    if (portSearch_ != nullptr) {
        portSearch_->ApplyLanguage();
    }
    ApplyAccessibleNames();
}

void TfrmMain::rdgLanguageClick()
{
    switch (rdgLanguage->ItemIndex()) {
    case 0: SetLanguageFlag(kLanguageGerman); break;
    case 1: SetLanguageFlag(kLanguageEnglish); break;
    default: return;
    }
    ApplyLanguage();
}
