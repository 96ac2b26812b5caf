// The About tab: the program's name, version and year, and a link; below it
// the firmware-update controls, which stay hidden.
#include "Fmain.h"

#include "AppIdentity.h"
#include "KestraVersion.h"
#include "UnlURLLabel.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace {
constexpr const char* kProgramName = "KESTRA Remote Panel";
constexpr const char* kYear = "2026";
} // namespace

void TfrmMain::BuildAboutTab()
{
    gbAbout = NewGroup(TabSheet4, "gbAbout", QString(), QRect(8, 8, 728, 320));
    gbAbout->setAutoFillBackground(true);
    QPalette pal = gbAbout->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Light));
    gbAbout->setPalette(pal);

    lblProgramName = NewLabel(gbAbout, "lblProgramName", QString::fromLatin1(kProgramName), QRect(24, 50, 680, 34));
    QFont big = lblProgramName->font();
    big.setPixelSize(24);
    big.setBold(true);
    lblProgramName->setFont(big);
    lblVersion = NewLabel(gbAbout, "lblVersion",
                          QStringLiteral("Version %1  (%2)").arg(QLatin1String(KESTRA_VERSION), QLatin1String(kYear)),
                          QRect(24, 100, 680, 18));

    UnlURLLabel1 = Create<TUnlURLLabel>(gbAbout, "UnlURLLabel1");
    UnlURLLabel1->setText(ReadmeUrl());  // the project's own words on the program
    UnlURLLabel1->setGeometry(24, 140, 680, 18);
    connect(UnlURLLabel1, &TUnlURLLabel::clicked, this, &TfrmMain::UnlURLLabel1Click);

    btnUpdate = NewButton(TabSheet4, "btnUpdate", 0, QStringLiteral("Update"), QRect(8, 340, 90, 25));
    btnUpdate2 = NewButton(TabSheet4, "btnUpdate2", 0, QStringLiteral("Update2 "), QRect(104, 340, 90, 25));
    suiProgressBar1 = Create<QProgressBar>(TabSheet4, "suiProgressBar1");
    suiProgressBar1->setRange(0, 100);
    suiProgressBar1->setValue(0);
    suiProgressBar1->setGeometry(8, 376, 728, 20);
    connect(btnUpdate, &QPushButton::clicked, this, &TfrmMain::btnUpdateClick);
    connect(btnUpdate2, &QPushButton::clicked, this, &TfrmMain::btnUpdate2Click);
    btnUpdate->setVisible(false);
    btnUpdate2->setVisible(false);
    suiProgressBar1->setVisible(false);
}

void TfrmMain::UnlURLLabel1Click()
{
    // Opens exactly what the label shows.
    UnlURLLabel1->SetURL(UnlURLLabel1->text());
}
