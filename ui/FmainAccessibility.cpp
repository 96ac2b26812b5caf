// What a screen reader hears, and the order in which Tab walks the window.
//
// Naming rule (the only place names are made):
//   - A control that has no caption of its own is named
//     "<strip or group caption> <function>": "MIC 3 gain" (fader), "MIC 3
//     level" (level bar), "MIC 3 gain in dB" (edit box), "MIC 3 mute",
//     "MIC 3 priority", "MIC 3 ducking lamp", "Sub left mute", "Sub ganged",
//     "Line source Tuner lamp", "Switch-on preset 2", "Preset number".
//   - A control that is its group's only control is named by the caption
//     alone: the ducking faders "Threshold", "Attenuation", "Hold time",
//     "Fade out", "Fade in"; their edit boxes add the unit ("Threshold in mV").
//   - Buttons, labels, radio buttons and group boxes keep their visible
//     caption (Qt reads it for them), so their names follow the language by
//     themselves.
//   - A caption the string table translates is loaded through it, so names
//     follow the language in force; ApplyLanguage runs this again. The
//     function words ("gain", "mute", "lamp" ...) stay as they are, as do
//     the captions that stay English on screen ("MIC 3", "mute", "Sub").
//   - Names are unique within a window among everything but labels (a label
//     may carry the same words as the control it captions).
//   - A label that captions one control is its buddy, so the control is
//     reported "labelled by" it. On Linux Qt names a combo box by its current
//     item and relies on that relation for the caption.
#include "Fmain.h"

#include "Fmsg.h"
#include "Language.h"
#include "Panel.h"
#include "RadioGroup.h"
#include "Rhtrack.h"
#include "StatusBar.h"
#include "UnlURLLabel.h"
#include "WindowAdditions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>

namespace {

// A table caption as a name part: without the trailing colon some captions
// carry ("Data bits:", "switch-on state:").
QString Caption(int id)
{
    QString text = LoadStr(id).trimmed();
    while (text.endsWith(QLatin1Char(':'))) {
        text.chop(1);
    }
    return text.trimmed();
}

QString Join(const QString& caption, const char* function)
{
    return caption + QLatin1Char(' ') + QLatin1String(function);
}

void Name(QWidget* control, const QString& name)
{
    if (control != nullptr) {
        control->setAccessibleName(name);
    }
}

// One fader strip: fader, level bar, gain edit box, mute panel.
void NameStrip(const QString& caption, TrhTrackBar* fader, QProgressBar* bar, QLineEdit* edit, TPanel* mute)
{
    Name(fader, Join(caption, "gain"));
    Name(bar, Join(caption, "level"));
    Name(edit, Join(caption, "gain in dB"));
    Name(mute, Join(caption, "mute"));
}

} // namespace

void TfrmMain::ApplyAccessibleNames()
{
    // The title is fourteen blanks; assistive technology still needs a name.
    setAccessibleName(QStringLiteral("KESTRA Remote Panel"));
    Name(tabControl, Caption(30001));
    Name(tabPreferences, Caption(30002));
    Name(tabCOM, QStringLiteral("COM"));
    Name(TabSheet4, QStringLiteral("About"));
    // Its tab reads "?": say what it is.
    PageControl1->tabBar()->setAccessibleTabName(PageControl1->indexOf(TabSheet4), QStringLiteral("About"));
    Name(sbMain, QStringLiteral("Status"));

    // Input strips. The channel captions stay English in both languages.
    for (int n = 1; n <= 6; ++n) {
        const QString mic = QStringLiteral("MIC %1").arg(n);
        NameStrip(mic, tbMic[n], pgbMic[n], edMic[n], Panel[n]);
        Name(btnduck[n], Join(mic, "priority"));
        Name(panduck[n], Join(mic, "ducking lamp"));
    }
    NameStrip(QStringLiteral("Line"), tbLine, pgbLine, edLine, btnLine);

    // Output strips and their ganged panels.
    NameStrip(QStringLiteral("Sub left"), tbSubLeft, pgbSubLeft, edSubLeft, btnSubL);
    NameStrip(QStringLiteral("Sub right"), tbSubRight, pgbSubRight, edSubRight, btnSubR);
    NameStrip(QStringLiteral("Master left"), tbMasterLeft, pgbMasterLeft, edMasterLeft, btnMasterL);
    NameStrip(QStringLiteral("Master right"), tbMasterRight, pgbMasterRight, edMasterRight, btnMasterR);
    Name(btnSubGanged, QStringLiteral("Sub ganged"));
    Name(btnMasterGanged, QStringLiteral("Master ganged"));

    // Line source: the group is captioned "Line" like the line input strip.
    const QString source = QStringLiteral("Line source");
    Name(GroupBox1, source);
    const QString sources[5] = {QStringLiteral("Tuner"), QStringLiteral("Tape"), QStringLiteral("CD"),
                                QStringLiteral("Aux"), Caption(30025)};
    for (int i = 0; i < 5; ++i) {
        Name(LinePanel[i], source + QLatin1Char(' ') + sources[i] + QStringLiteral(" lamp"));
    }

    Name(cbPresetNo, Join(Caption(30003), "number"));
    Name(panMaunduck, Join(Caption(30006), "ducking"));

    // Preferences: one fader per setting, its edit box with the unit.
    Name(tbThreshold, Caption(30058));
    Name(edThreshold, Caption(30058) + QStringLiteral(" in ") + Label40->text().trimmed());
    Name(tbAttenuation, Caption(30062));
    Name(edAttenuation, Caption(30062) + QStringLiteral(" in ") + Caption(30028));
    Name(tbHoldTime, Caption(30059));
    Name(edHoldtime, Caption(30059) + QStringLiteral(" in ") + lblMs->text().trimmed());
    Name(tbFadeOut, Caption(30066));
    Name(tbFadeIn, Caption(30065));
    Name(palActDuck, QStringLiteral("Ducking active lamp"));

    // COM tab: each combo box by the label beside it.
    Name(cbCOM, Label27->text().trimmed());
    Name(cbBaudRate, Caption(30080));
    Name(cbDataBit, Caption(30083));
    Name(cbParity, Caption(30084));
    Name(cbStopBits, Caption(30085));
    // The English group caption "switch-on state" reads badly in front of
    // every panel; the German one is a single word and fits as it is.
    const QString switchOn = LanguageFlag() == kLanguageGerman ? Caption(30049) : QStringLiteral("Switch-on");
    for (int n = 1; n <= 3; ++n) {
        Name(swPreset[n], switchOn + QStringLiteral(" preset %1").arg(n));
    }
    Name(swOff, switchOn + QLatin1Char(' ') + Caption(30050));

    Name(suiProgressBar1, QStringLiteral("Update progress"));

    const std::pair<QLabel*, QWidget*> captions[] = {
        {Label1, tbMic[1]}, {Label2, tbMic[2]}, {Label3, tbMic[3]}, {Label4, tbMic[4]}, {Label5, tbMic[5]},
        {Label6, tbMic[6]}, {Label7, tbLine}, {lblThreadhold, tbThreshold}, {Label40, edThreshold},
        {lblAttenuation, tbAttenuation}, {lblstep, edAttenuation}, {lblHoldtime, tbHoldTime}, {lblMs, edHoldtime},
        {lblDuckFadeOut, tbFadeOut}, {lblDuckFadeIn, tbFadeIn}, {Label10, palActDuck}, {Label27, cbCOM},
        {lblSpeed, cbBaudRate}, {lblDataBit, cbDataBit}, {lblParity, cbParity}, {lblStopBits, cbStopBits},
    };
    for (const auto& [label, control] : captions) {
        label->setBuddy(control);
    }

    if (frmMsg != nullptr) {
        Name(frmMsg, QStringLiteral("Messages"));
        Name(frmMsg->mmMsg, QStringLiteral("Message log"));
    }
}

QVector<QWidget*> TfrmMain::TabOrder() const
{
    QVector<QWidget*> order;
    const auto strip = [&order](QWidget* fader, QWidget* edit, QWidget* mute) { order << fader << edit << mute; };

    // Control-Panel: input strips left to right, each from the top down.
    for (int n = 1; n <= 6; ++n) {
        strip(tbMic[n], edMic[n], Panel[n]);
        order << btnduck[n];
    }
    strip(tbLine, edLine, btnLine);
    // Outputs: each pair's ganged panel lies under both of its strips.
    strip(tbSubLeft, edSubLeft, btnSubL);
    strip(tbSubRight, edSubRight, btnSubR);
    order << btnSubGanged;
    strip(tbMasterLeft, edMasterLeft, btnMasterL);
    strip(tbMasterRight, edMasterRight, btnMasterR);
    order << btnMasterGanged;
    // The right-hand column: line source, preset, manual ducking.
    order << btnTuner << btnType << btnCD << btnAux << btnOff;
    order << cbPresetNo << btnLoad << btnSave << panMaunduck;

    // Preferences: the two vertical faders, then the horizontal rows (the
    // hold time's edit box stands above its fader).
    order << tbThreshold << edThreshold << tbAttenuation << edAttenuation;
    order << edHoldtime << tbHoldTime << tbFadeOut << tbFadeIn;

    // COM: port column, line format column, switch-on and language column.
    order << cbCOM << cbBaudRate << btnConnect << btnDisconnect << btnViewmessages << Button1;
    order << cbDataBit << cbParity << cbStopBits;
    for (int i = 0; i < rgProtocol->Count(); ++i) {
        order << rgProtocol->Button(i);
    }
    order << swPreset[1] << swPreset[2] << swPreset[3] << swOff << btnFactory;
    for (int i = 0; i < rdgLanguage->Count(); ++i) {
        order << rdgLanguage->Button(i);
    }
    // The additions under the port column come last, so the original walk stays.
    if (additions_) {
        order << additions_->btnBackup << additions_->btnRestore << additions_->cbReconnect;
    }

    // About: the link, then the firmware-update buttons (shown for service use only).
    order << UnlURLLabel1 << btnUpdate << btnUpdate2;
    return order;
}

void TfrmMain::SetUpTabOrder()
{
    const QVector<QWidget*> order = TabOrder();
    for (int i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}
