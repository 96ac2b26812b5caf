// Input strips: microphone and line faders, mute and priority panels, and the
// gain entry shared by all eleven gain edit boxes.
#include "Fmain.h"

#include "Commands.h"
#include "ControlTag.h"
#include "Entry.h"
#include "LevelBar.h"
#include "Mroutine.h"
#include "Panel.h"
#include "Rhtrack.h"

#include <QLineEdit>
#include <QProgressBar>

QString TfrmMain::FaderHintText(const TrhTrackBar* fader)
{
    // The level without its unit, so the hint reads "-12.5" beside the thumb.
    if (fader->Position() == fader->Max()) {
        return QStringLiteral("mute");
    }
    QString text = QString::fromStdString(PositionText(fader->Position()));
    text.chop(2);
    return text;
}

bool TfrmMain::TakeFocusedMove(TrhTrackBar* fader, int lastSentIndex)
{
    if (!fader->hasFocus()) {
        return false;
    }
    LastSent[lastSentIndex] = fader->Position();
    return true;
}

void TfrmMain::tbMic1Change(TrhTrackBar* fader)
{
    const int n = Tag(fader);
    if (n < 1 || n > 6) {
        return;
    }
    const int index = kLastMic1 + n - 1;
    if (fader->hasFocus() && fader->Position() == LastSent[index]) {
        return;
    }
    if (TakeFocusedMove(fader, index)) {
        SendCommand(CM_MCS_MIC(static_cast<std::uint8_t>(fader->Position()), channel::Mic(n)), 0);
    }
    RefreshFaderHint(fader, FaderHintText(fader));
}

void TfrmMain::tbLineChange(TrhTrackBar* fader)
{
    if (fader->hasFocus() && fader->Position() == LastSent[kLastLine]) {
        return;
    }
    if (TakeFocusedMove(fader, kLastLine)) {
        SendCommand(CM_MCS_STEREO(static_cast<std::uint8_t>(fader->Position()), channel::kLine), 0);
    }
    RefreshFaderHint(fader, FaderHintText(fader));
}

int TfrmMain::UnmutedLevel(const TrhTrackBar* fader, bool subjectToDucking) const
{
    const bool ducking = IsPressed(panMaunduck) || DuckingActive;
    return fader->Max() - fader->Position() - (ducking && subjectToDucking ? tbAttenuation->Position() : 0);
}

void TfrmMain::ToggleInputMute(TPanel* panel, TrhTrackBar* fader, QProgressBar* bar, QLineEdit* edit,
                               bool subjectToDucking, std::uint8_t channelByte)
{
    if (!IsPressed(panel)) {
        SetPressed(panel, true);
        SetBarPosition(bar, bar->minimum());
        edit->setText(QStringLiteral("mute"));
        SendCommand(CM_MCS_MUTE(1, channelByte), 0);
    } else {
        SetPressed(panel, false);
        SetBarPosition(bar, UnmutedLevel(fader, subjectToDucking));
        edit->setText(QString::fromStdString(PositionText(bar->maximum() - bar->value())));
        SendCommand(CM_MCS_MUTE(0, channelByte), 0);
    }
}

void TfrmMain::Panel1Click(TPanel* panel)
{
    const int n = Tag(panel);
    auto* prior = FindControl<TPanel>(QStringLiteral("btnduck"), n);
    auto* fader = FindControl<TrhTrackBar>(QStringLiteral("tbMic"), n);
    auto* bar = FindControl<QProgressBar>(QStringLiteral("pgbMic"), n);
    auto* edit = FindControl<QLineEdit>(QStringLiteral("edMic"), n);
    if (!prior || !fader || !bar || !edit) {
        return;
    }
    ToggleInputMute(panel, fader, bar, edit, !IsPressed(prior), channel::Mic(n));
}

void TfrmMain::btnLineClick()
{
    ToggleInputMute(btnLine, tbLine, pgbLine, edLine, true, channel::kLine);
}

void TfrmMain::btnduck1Click(TPanel* panel)
{
    const int n = Tag(panel);
    auto* lamp = FindControl<TPanel>(QStringLiteral("panduck"), n);
    if (lamp == nullptr) {
        return;
    }
    if (!IsPressed(panel)) {
        SetPressed(panel, true);
        lamp->SetColor(clOlive);  // a microphone with priority is not ducked
        SendCommand(CM_MCS_DUCKING(1, channel::Mic(n)), 0);
    } else {
        SetPressed(panel, false);
        if (DuckingActive) {
            lamp->SetColor(clYellow);
        }
        SendCommand(CM_MCS_DUCKING(0, channel::Mic(n)), 0);
    }
}

TrhTrackBar* TfrmMain::GainFaderOf(const QLineEdit* edit) const
{
    const int tag = Tag(edit);
    if (tag >= 1 && tag <= 6) {
        return tbMic[tag];
    }
    switch (tag) {
    case 7:
        return tbLine;
    case 8:
        return tbSubLeft;
    case 9:
        return tbSubRight;
    case 10:
        return tbMasterLeft;
    case 11:
        return tbMasterRight;
    default:
        return nullptr;
    }
}

void TfrmMain::edMic1KeyDown(QLineEdit* edit)
{
    TrhTrackBar* fader = GainFaderOf(edit);
    if (fader == nullptr) {
        return;
    }
    const GainEntry entry = ParseGainEntry(edit->text());
    if (entry.corrected != edit->text()) {
        edit->setText(entry.corrected);
    }
    if (entry.kind == GainEntry::Kind::Empty) {
        return;
    }
    if (entry.kind == GainEntry::Kind::Invalid) {
        edit->setText(QString::fromStdString(PositionText(fader->Position())));
        return;
    }
    fader->SetPosition(entry.position);
    edit->setText(QString::fromStdString(PositionText(fader->Position())));
    const auto position = static_cast<std::uint8_t>(fader->Position());
    const int tag = Tag(edit);
    if (tag <= 6) {
        SendCommand(CM_MCS_MIC(position, static_cast<std::uint8_t>(Tag(fader) + 15)), 0);
    } else {
        SendCommand(CM_MCS_STEREO(position, static_cast<std::uint8_t>(Tag(fader))), 0);
        FollowGangedLeft(Tag(fader));
    }
}

void TfrmMain::edMic1Exit(QLineEdit* edit)
{
    if (TrhTrackBar* fader = GainFaderOf(edit)) {
        edit->setText(QString::fromStdString(PositionText(fader->Position())));
    }
}
