// Line source buttons, manual ducking and the ducking preferences tab.
#include "Fmain.h"

#include "Commands.h"
#include "ControlTag.h"
#include "Entry.h"
#include "Panel.h"
#include "Rhtrack.h"

#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

void TfrmMain::btnTunerClick(QPushButton* button)
{
    // Appended, never merged: a source choice must not be lost to a fader.
    SendCommand(CM_MCS_LINE(static_cast<std::uint8_t>(Tag(button))), 1);
}

void TfrmMain::panMaunduckClick()
{
    const bool on = !IsPressed(panMaunduck);
    SetPressed(panMaunduck, on);
    SendCommand(CM_MCS_MANDUCKING(on ? 2 : 0), 0);
}

bool TfrmMain::SendPreferenceMove(TrhTrackBar* fader, int lastSentIndex, const LCmd& command)
{
    if (!fader->hasFocus()) {
        return true;
    }
    if (fader->Position() == LastSent[lastSentIndex]) {
        return false;
    }
    LastSent[lastSentIndex] = fader->Position();
    SendCommand(command, 0);
    return true;
}

void TfrmMain::tbThresholdChange()
{
    const int step = 129 - tbThreshold->Position();
    if (!SendPreferenceMove(tbThreshold, kLastThreshold, CM_MCS_DK_MIC_THD(static_cast<std::uint8_t>(step)))) {
        return;
    }
    const QString text = QString::number(ThresholdMillivolts(step));
    edThreshold->setText(text);
    RefreshFaderHint(tbThreshold, text);
}

void TfrmMain::tbAttenuationChange()
{
    const int pos = tbAttenuation->Position();
    if (!SendPreferenceMove(tbAttenuation, kLastAttenuation, CM_MCS_DK_ST_RED(static_cast<std::uint8_t>(pos)))) {
        return;
    }
    edAttenuation->setText(QString::number(pos));
    RefreshFaderHint(tbAttenuation, QString::number(pos));
}

void TfrmMain::tbHoldTimeChange()
{
    const int pos = tbHoldTime->Position();
    if (!SendPreferenceMove(tbHoldTime, kLastHoldTime, CM_MCS_DK_HOLD(static_cast<std::uint8_t>(pos)))) {
        return;
    }
    edHoldtime->setText(QString::number(pos * 10));
    RefreshFaderHint(tbHoldTime, QString::number(pos));
}

void TfrmMain::tbFadeOutChange()
{
    const int pos = tbFadeOut->Position();
    if (SendPreferenceMove(tbFadeOut, kLastFadeOut, CM_MCS_DK_FADEOUT(static_cast<std::uint8_t>(pos)))) {
        RefreshFaderHint(tbFadeOut, QString::number(pos));
    }
}

void TfrmMain::tbFadeInChange()
{
    const int pos = tbFadeIn->Position();
    if (SendPreferenceMove(tbFadeIn, kLastFadeIn, CM_MCS_DK_FADEIN(static_cast<std::uint8_t>(pos)))) {
        RefreshFaderHint(tbFadeIn, QString::number(pos));
    }
}

void TfrmMain::RestorePreferenceBox(QLineEdit* edit)
{
    if (edit == edThreshold) {
        edit->setText(QString::number(ThresholdMillivolts(129 - tbThreshold->Position())));
    } else if (edit == edAttenuation) {
        edit->setText(QString::number(tbAttenuation->Position()));
    } else if (edit == edHoldtime) {
        edit->setText(QString::number(tbHoldTime->Position() * 10));
    }
}

void TfrmMain::edThresholdKeyDown(QLineEdit* edit)
{
    const PrefEntry entry = ParsePrefEntry(edit->text());
    if (entry.kind == PrefEntry::Kind::Empty) {
        return;
    }
    if (entry.kind == PrefEntry::Kind::Invalid) {
        RestorePreferenceBox(edit);
        return;
    }
    if (edit == edThreshold) {
        tbThreshold->SetPosition(129 - ThresholdStepFor(entry.value));
        SendCommand(CM_MCS_DK_MIC_THD(static_cast<std::uint8_t>(129 - tbThreshold->Position())), 0);
    } else if (edit == edHoldtime) {
        tbHoldTime->SetPosition(std::clamp(entry.value, 10, 1000) / 10);
        SendCommand(CM_MCS_DK_HOLD(static_cast<std::uint8_t>(tbHoldTime->Position())), 0);
    } else if (edit == edAttenuation) {
        tbAttenuation->SetPosition(std::clamp(entry.value, 0, 79));
        SendCommand(CM_MCS_DK_ST_RED(static_cast<std::uint8_t>(tbAttenuation->Position())), 0);
    }
    // The box shows what the device now holds, in its unit (555 ms -> 550,
    // 5000 mV -> 2739), even when the fader was already there.
    RestorePreferenceBox(edit);
}

void TfrmMain::edThresholdExit(QLineEdit* edit)
{
    RestorePreferenceBox(edit);
}
