// The Control-Panel tab: seven input strips, four output strips with their
// ganged panels, the line-source buttons with their lamps, the preset group
// and the manual-ducking panel.
#include "Fmain.h"

#include "Panel.h"
#include "Rhtrack.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace {

// One strip: caption, fader with its level bar on the right, edit box, mute
// panel, and on microphones the priority panel and the ducking lamp.
constexpr int kStripWidth = 52;
constexpr int kStripLeft = 6;
constexpr int kCaptionTop = 18;
constexpr int kFaderTop = 36;
constexpr int kFaderHeight = 262;
constexpr int kEditTop = 302;
constexpr int kMuteTop = 328;
constexpr int kPriorTop = 354;
constexpr int kLampTop = 384;
constexpr int kButtonWidth = 46;
constexpr int kStripsHeight = 402;

int StripX(int index) { return kStripLeft + index * kStripWidth; }

QRect FaderRect(int x) { return QRect(x, kFaderTop, 30, kFaderHeight); }
// The bar spans the groove of the fader beside it.
QRect BarRect(int x) { return QRect(x + 32, kFaderTop + 8, 10, kFaderHeight - 16); }
QRect EditRect(int x) { return QRect(x, kEditTop, kButtonWidth, 21); }
QRect MuteRect(int x) { return QRect(x, kMuteTop, kButtonWidth, 22); }

void SetupGainFader(TrhTrackBar* fader)
{
    fader->SetOrientation(Qt::Vertical);
    fader->SetRange(0, 79);
    fader->SetFrequency(5);
    fader->SetTickMarks(tmBoth);
    fader->SetPosition(0);
}

} // namespace

void TfrmMain::BuildControlTab()
{
    BuildInputGroup();
    BuildOutputGroup();
    BuildLineGroup();
    BuildPresetAndManualGroups();
}

void TfrmMain::BuildInputGroup()
{
    gbInput = NewGroup(tabControl, "gbInput", QStringLiteral("Input"),
                       QRect(4, 2, 7 * kStripWidth + 8, kStripsHeight));
    static const char* const kCaptionNames[] = {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6"};
    QLabel** captions[] = {&Label1, &Label2, &Label3, &Label4, &Label5, &Label6};
    const auto name = [](const char* prefix, int n) { return QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(n); };

    for (int n = 1; n <= 6; ++n) {
        const int x = StripX(n - 1);
        *captions[n - 1] = NewLabel(gbInput, kCaptionNames[n - 1], QStringLiteral("MIC %1").arg(n),
                                    QRect(x, kCaptionTop, kButtonWidth, 16), Qt::AlignCenter);
        tbMic[n] = NewFader(gbInput, name("tbMic", n).toLatin1().constData(), n, FaderRect(x));
        SetupGainFader(tbMic[n]);
        pgbMic[n] = NewLevelBar(gbInput, name("pgbMic", n).toLatin1().constData(), n, BarRect(x));
        edMic[n] = NewEdit(gbInput, name("edMic", n).toLatin1().constData(), n, 6, QStringLiteral("0dB "), EditRect(x));
        Panel[n] = NewLatch(gbInput, name("Panel", n).toLatin1().constData(), n, QStringLiteral("mute"), MuteRect(x));
        btnduck[n] = NewLatch(gbInput, name("btnduck", n).toLatin1().constData(), n, QStringLiteral("prior"),
                              QRect(x, kPriorTop, kButtonWidth, 22));
        panduck[n] = NewIndicator(gbInput, name("panduck", n).toLatin1().constData(), clOlive,
                                  QPoint(x + (kButtonWidth - 20) / 2, kLampTop));
    }

    // The line strip: no priority panel and no lamp, it is always ducked.
    const int x = StripX(6);
    Label7 = NewLabel(gbInput, "Label7", QStringLiteral("Line"), QRect(x, kCaptionTop, kButtonWidth, 16),
                      Qt::AlignCenter);
    tbLine = NewFader(gbInput, "tbLine", 0, FaderRect(x));
    SetupGainFader(tbLine);
    pgbLine = NewLevelBar(gbInput, "pgbLine", 7, BarRect(x));
    edLine = NewEdit(gbInput, "edLine", 7, 6, QStringLiteral("0dB "), EditRect(x));
    btnLine = NewLatch(gbInput, "btnLine", 7, QStringLiteral("mute"), MuteRect(x));
}

void TfrmMain::BuildOutputGroup()
{
    gbOutput = NewGroup(tabControl, "gbOutput", QStringLiteral("Output"),
                        QRect(gbInput->geometry().right() + 5, 2, 4 * kStripWidth + 8, kStripsHeight));
    const int pairWidth = kStripWidth + kButtonWidth;
    Label9 = NewLabel(gbOutput, "Label9", QStringLiteral("Sub"), QRect(StripX(0), kCaptionTop, pairWidth, 16),
                      Qt::AlignCenter);
    Label8 = NewLabel(gbOutput, "Label8", QStringLiteral("Master"), QRect(StripX(2), kCaptionTop, pairWidth, 16),
                      Qt::AlignCenter);

    struct Strip {
        TrhTrackBar** fader;
        QProgressBar** bar;
        QLineEdit** edit;
        TPanel** mute;
        const char* faderName;
        const char* barName;
        const char* editName;
        const char* muteName;
        int tag;
        int editTag;
    };
    const Strip strips[] = {
        {&tbSubLeft, &pgbSubLeft, &edSubLeft, &btnSubL, "tbSubLeft", "pgbSubLeft", "edSubLeft", "btnSubL", 1, 8},
        {&tbSubRight, &pgbSubRight, &edSubRight, &btnSubR, "tbSubRight", "pgbSubRight", "edSubRight", "btnSubR", 2, 9},
        {&tbMasterLeft, &pgbMasterLeft, &edMasterLeft, &btnMasterL, "tbMasterLeft", "pgbMasterLeft", "edMasterLeft",
         "btnMasterL", 3, 10},
        {&tbMasterRight, &pgbMasterRight, &edMasterRight, &btnMasterR, "tbMasterRight", "pgbMasterRight",
         "edMasterRight", "btnMasterR", 4, 11},
    };
    for (int i = 0; i < 4; ++i) {
        const Strip& s = strips[i];
        const int x = StripX(i);
        *s.fader = NewFader(gbOutput, s.faderName, s.tag, FaderRect(x));
        SetupGainFader(*s.fader);
        *s.bar = NewLevelBar(gbOutput, s.barName, s.tag, BarRect(x));
        *s.edit = NewEdit(gbOutput, s.editName, s.editTag, 6, QStringLiteral("0dB "), EditRect(x));
        // A left mute panel starts under its edit box; ganging moves it over
        // the ganged panel, between the pair's faders.
        *s.mute = NewLatch(gbOutput, s.muteName, s.tag, QStringLiteral("mute"), MuteRect(x));
    }
    const int gangedOffset = (pairWidth - kButtonWidth) / 2;
    btnSubGanged = NewLatch(gbOutput, "btnSubGanged", 1, QStringLiteral("ganged"),
                            QRect(StripX(0) + gangedOffset, kPriorTop, kButtonWidth, 22));
    btnMasterGanged = NewLatch(gbOutput, "btnMasterGanged", 2, QStringLiteral("ganged"),
                               QRect(StripX(2) + gangedOffset, kPriorTop, kButtonWidth, 22));
}

void TfrmMain::BuildLineGroup()
{
    const int left = gbOutput->geometry().right() + 5;
    GroupBox1 = NewGroup(tabControl, "GroupBox1", QStringLiteral("Line"), QRect(left, 2, 740 - left, 196));
    struct Source {
        QPushButton** button;
        const char* name;
        int tag;
        const char* caption;
        const char* lamp;
    };
    const Source sources[] = {
        {&btnTuner, "btnTuner", 1, "Tuner", "LinePanel0"},
        {&btnType, "btnType", 2, "Tape", "LinePanel1"},
        {&btnCD, "btnCD", 3, "CD", "LinePanel2"},
        {&btnAux, "btnAux", 4, "Aux", "LinePanel3"},
        {&btnOff, "btnOff", 0, "off", "LinePanel4"},
    };
    const int buttonWidth = GroupBox1->width() - 20;
    for (int i = 0; i < 5; ++i) {
        const int y = 18 + i * 35;
        *sources[i].button =
            NewButton(GroupBox1, sources[i].name, sources[i].tag, QString::fromLatin1(sources[i].caption),
                      QRect(10, y, buttonWidth, 22));
        LinePanel[i] = NewIndicator(GroupBox1, sources[i].lamp, clGreen, QPoint(10 + (buttonWidth - 20) / 2, y + 24));
    }
}

void TfrmMain::BuildPresetAndManualGroups()
{
    const QRect line = GroupBox1->geometry();
    gbPreset = NewGroup(tabControl, "gbPreset", QStringLiteral("Preset"), QRect(line.left(), line.bottom() + 5, line.width(), 110));
    const int inner = gbPreset->width() - 20;
    cbPresetNo = NewCombo(gbPreset, "cbPresetNo", {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")},
                          QRect(10, 20, inner, 22));
    btnLoad = NewButton(gbPreset, "btnLoad", 0, QStringLiteral("load"), QRect(10, 48, inner, 24));
    btnSave = NewButton(gbPreset, "btnSave", 1, QStringLiteral("save"), QRect(10, 78, inner, 24));

    const QRect preset = gbPreset->geometry();
    GroupBox4 = NewGroup(tabControl, "GroupBox4", QString(),
                         QRect(preset.left(), preset.bottom() + 5, preset.width(), kStripsHeight + 2 - preset.bottom() - 5));
    panMaunduck = NewLatch(GroupBox4, "panMaunduck", 0, QString(), QRect(10, 12, inner, GroupBox4->height() - 20));
    // The two labels are the panel's face; their clicks are the panel's.
    const int half = panMaunduck->height() / 2;
    lblManual = NewLabel(panMaunduck, "lblManual", QStringLiteral("Manual"), QRect(2, half - 17, inner - 4, 16),
                         Qt::AlignCenter);
    Label48 = NewLabel(panMaunduck, "Label48", QStringLiteral("Ducking"), QRect(2, half + 1, inner - 4, 16),
                       Qt::AlignCenter);
    lblManual->setAttribute(Qt::WA_TransparentForMouseEvents);
    Label48->setAttribute(Qt::WA_TransparentForMouseEvents);
}
