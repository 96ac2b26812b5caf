// The Preferences tab: the ducking settings. Threshold and attenuation are
// vertical faders with their edit boxes and units below; hold time, fade-out
// and fade-in are horizontal faders with a label at each end.
#include "Fmain.h"

#include "Panel.h"
#include "Rhtrack.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace {

constexpr Qt::Alignment kCentre = Qt::AlignCenter;
constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignVCenter;

void SetupFader(TrhTrackBar* fader, Qt::Orientation orientation, int min, int max, int position, int frequency,
                TTickMark marks)
{
    fader->SetOrientation(orientation);
    fader->SetRange(min, max);
    fader->SetPosition(position);
    fader->SetFrequency(frequency);
    fader->SetTickMarks(marks);
}

} // namespace

void TfrmMain::BuildPreferencesTab()
{
    GroupBox6 = NewGroup(tabPreferences, "GroupBox6", QStringLiteral("Ducking"), QRect(8, 4, 728, 396));

    // Vertical faders: caption above, fader, edit box and unit below.
    constexpr int kColumn = 150;
    constexpr int kVTop = 44;
    constexpr int kVHeight = 250;
    constexpr int kEditTop = kVTop + kVHeight + 8;

    lblThreadhold = NewLabel(GroupBox6, "lblThreadhold", QStringLiteral("Threshold"), QRect(10, 22, kColumn - 10, 16), kCentre);
    tbThreshold = NewFader(GroupBox6, "tbThreshold", 0, QRect(10 + (kColumn - 10) / 2 - 20, kVTop, 40, kVHeight));
    SetupFader(tbThreshold, Qt::Vertical, 2, 127, 127, 8, tmBoth);
    edThreshold = NewEdit(GroupBox6, "edThreshold", 1, 5, QStringLiteral("43"), QRect(40, kEditTop, 50, 21));
    Label40 = NewLabel(GroupBox6, "Label40", QStringLiteral("mV"), QRect(94, kEditTop + 2, 40, 16));

    const int x2 = 10 + kColumn;
    lblAttenuation = NewLabel(GroupBox6, "lblAttenuation", QStringLiteral("Attenuation"), QRect(x2, 22, kColumn - 10, 16), kCentre);
    tbAttenuation = NewFader(GroupBox6, "tbAttenuation", 0, QRect(x2 + (kColumn - 10) / 2 - 20, kVTop, 40, kVHeight));
    SetupFader(tbAttenuation, Qt::Vertical, 0, 79, 0, 8, tmBoth);
    edAttenuation = NewEdit(GroupBox6, "edAttenuation", 2, 5, QStringLiteral("0"), QRect(x2 + 30, kEditTop, 50, 21));
    lblstep = NewLabel(GroupBox6, "lblstep", QStringLiteral("step"), QRect(x2 + 84, kEditTop + 2, 60, 16));

    // Horizontal faders: caption above, end labels left and right.
    constexpr int kLeft = 330;
    constexpr int kEndWidth = 64;
    constexpr int kFaderLeft = kLeft + kEndWidth + 6;
    constexpr int kFaderWidth = 240;
    constexpr int kRightEnd = kFaderLeft + kFaderWidth + 6;
    const auto row = [&](int top, const char* captionName, const char* caption, TrhTrackBar** fader,
                         const char* faderName, const char* leftName, const char* leftText, const char* rightName,
                         const char* rightText, QLabel** captionLabel, QLabel** leftLabel, QLabel** rightLabel) {
        *captionLabel = NewLabel(GroupBox6, captionName, QString::fromLatin1(caption), QRect(kLeft, top, 160, 16));
        *leftLabel = NewLabel(GroupBox6, leftName, QString::fromLatin1(leftText), QRect(kLeft, top + 26, kEndWidth, 16), kRight);
        *fader = NewFader(GroupBox6, faderName, 0, QRect(kFaderLeft, top + 20, kFaderWidth, 30));
        *rightLabel = NewLabel(GroupBox6, rightName, QString::fromLatin1(rightText), QRect(kRightEnd, top + 26, kEndWidth, 16));
    };

    row(22, "lblHoldtime", "hold time", &tbHoldTime, "tbHoldTime", "lblshort", "short", "lblLong", "long",
        &lblHoldtime, &lblshort, &lblLong);
    SetupFader(tbHoldTime, Qt::Horizontal, 1, 100, 1, 10, tmBottomRight);
    edHoldtime = NewEdit(GroupBox6, "edHoldtime", 3, 5, QStringLiteral("10"), QRect(kLeft + 170, 19, 50, 21));
    lblMs = NewLabel(GroupBox6, "lblMs", QStringLiteral("ms"), QRect(kLeft + 224, 21, 40, 16));

    row(110, "lblDuckFadeOut", "Fade Out", &tbFadeOut, "tbFadeOut", "lblFast1", "fast", "lblSlow1", "slow",
        &lblDuckFadeOut, &lblFast1, &lblSlow1);
    SetupFader(tbFadeOut, Qt::Horizontal, 0, 63, 0, 8, tmBottomRight);

    row(198, "lblDuckFadeIn", "Fade In", &tbFadeIn, "tbFadeIn", "lblFast2", "fast", "lblSlow2", "slow",
        &lblDuckFadeIn, &lblFast2, &lblSlow2);
    SetupFader(tbFadeIn, Qt::Horizontal, 0, 63, 0, 8, tmBottomRight);

    palActDuck = NewIndicator(GroupBox6, "palActDuck", clOlive, QPoint(kFaderLeft, 300));
    Label10 = NewLabel(GroupBox6, "Label10", QStringLiteral("Ducking Active"), QRect(kFaderLeft + 28, 296, 160, 16));
}
