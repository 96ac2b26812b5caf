// The COM tab: port and speed, connect buttons, the fixed line format, the
// switch-on state panels, factory default and the language choice.
#include "Fmain.h"

#include "Panel.h"
#include "RadioGroup.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

void TfrmMain::BuildComTab()
{
    Label27 = NewLabel(tabCOM, "Label27", QStringLiteral("Port "), QRect(12, 16, 112, 16));
    QStringList ports;
    for (int n = 1; n <= 8; ++n) {
        ports << QStringLiteral("COM%1").arg(n);
    }
    cbCOM = NewCombo(tabCOM, "cbCOM", ports, QRect(130, 12, 100, 22));
    lblSpeed = NewLabel(tabCOM, "lblSpeed", QStringLiteral("Speed"), QRect(12, 46, 112, 16));
    cbBaudRate = NewCombo(tabCOM, "cbBaudRate", {QStringLiteral("9600"), QStringLiteral("115200")},
                          QRect(130, 42, 100, 22));
    cbBaudRate->setEnabled(false);

    btnConnect = NewButton(tabCOM, "btnConnect", 0, QStringLiteral("connect"), QRect(12, 84, 106, 26));
    btnDisconnect = NewButton(tabCOM, "btnDisconnect", 0, QStringLiteral("disconnect"), QRect(124, 84, 106, 26));
    btnViewmessages = NewButton(tabCOM, "btnViewmessages", 0, QStringLiteral("view message"), QRect(12, 118, 150, 26));
    Button1 = NewButton(tabCOM, "Button1", 0, QStringLiteral("clear"), QRect(168, 118, 62, 26));
    Button1->setVisible(false);

    // The line format is fixed: shown, never chosen.
    gbRs232Format = NewGroup(tabCOM, "gbRs232Format", QStringLiteral("Format"), QRect(248, 8, 232, 112));
    const auto formatRow = [&](int y, const char* labelName, const char* caption, QLabel** label,
                               const char* comboName, const char* item, QComboBox** combo) {
        *label = NewLabel(gbRs232Format, labelName, QString::fromLatin1(caption), QRect(10, y + 3, 104, 16));
        *combo = NewCombo(gbRs232Format, comboName, {QString::fromLatin1(item)}, QRect(120, y, 100, 22));
        (*combo)->setEnabled(false);
    };
    formatRow(20, "lblDataBit", "Data bits", &lblDataBit, "cbDataBit", "8", &cbDataBit);
    formatRow(50, "lblParity", "Parity", &lblParity, "cbParity", "none", &cbParity);
    formatRow(80, "lblStopBits", "Stop bits", &lblStopBits, "cbStopBits", "1", &cbStopBits);
    gbRs232Format->setEnabled(false);

    rgProtocol = Create<TRadioGroup>(tabCOM, "rgProtocol");
    rgProtocol->SetCaption(QStringLiteral("Protocol"));
    rgProtocol->SetItems({QStringLiteral("none"), QStringLiteral("Xon/Xoff"), QStringLiteral("RTS"),
                          QStringLiteral("Xon/RTS")});
    rgProtocol->SetItemIndex(0);
    rgProtocol->setGeometry(248, 128, 232, 120);
    rgProtocol->setEnabled(false);

    gbswitchon = NewGroup(tabCOM, "gbswitchon", QStringLiteral("switch-on state"), QRect(496, 8, 240, 100));
    lblPreset = NewLabel(gbswitchon, "lblPreset", QStringLiteral("preset:"), QRect(10, 27, 96, 16));
    static const char* const kPresetNames[] = {nullptr, "swPreset1", "swPreset2", "swPreset3"};
    for (int n = 1; n <= 3; ++n) {
        swPreset[n] = NewLatch(gbswitchon, kPresetNames[n], n, QString::number(n),
                               QRect(110 + (n - 1) * 42, 22, 36, 26));
    }
    swOff = NewLatch(gbswitchon, "swOff", 0, QStringLiteral("as switched off"), QRect(10, 58, 220, 28));
    SetPressed(swOff, true);

    btnFactory = NewButton(tabCOM, "btnFactory", 0, QStringLiteral("load factory default"), QRect(496, 116, 240, 28));

    rdgLanguage = Create<TRadioGroup>(tabCOM, "rdgLanguage");
    rdgLanguage->SetCaption(QStringLiteral("Language"));
    rdgLanguage->SetItems({QStringLiteral("German"), QStringLiteral("English")});
    rdgLanguage->SetItemIndex(1);
    rdgLanguage->setGeometry(496, 152, 240, 74);
    connect(rdgLanguage, &TRadioGroup::clicked, this, [this](int) { rdgLanguageClick(); });
}
