// Output section: the four output faders, their mute panels and the ganged
// panels that couple each left/right pair.
#include "Fmain.h"

#include "Commands.h"
#include "ControlTag.h"
#include "LevelBar.h"
#include "Mroutine.h"
#include "Panel.h"
#include "Rhtrack.h"

#include <QLineEdit>
#include <QProgressBar>

#include <algorithm>
#include <cstdlib>

TfrmMain::OutputPair TfrmMain::Pair(bool master)
{
    if (master) {
        return {tbMasterLeft, tbMasterRight, pgbMasterLeft, pgbMasterRight, edMasterLeft, edMasterRight,
                btnMasterL, btnMasterR, btnMasterGanged, &MasterGanged, &MasterGangedOffset,
                kLastMasterLeft, kLastMasterRight};
    }
    return {tbSubLeft, tbSubRight, pgbSubLeft, pgbSubRight, edSubLeft, edSubRight, btnSubL, btnSubR,
            btnSubGanged, &SubGanged, &SubGangedOffset, kLastSubLeft, kLastSubRight};
}

void TfrmMain::tbSubLeftChange(TrhTrackBar* fader)
{
    const int k = Tag(fader);
    if (k < 1 || k > 4) {
        return;
    }
    const OutputPair pair = Pair(k >= 3);
    const bool left = k == 1 || k == 3;
    const int index = left ? pair.lastLeft : pair.lastRight;
    if (fader->hasFocus()) {
        if (fader->Position() == LastSent[index]) {
            return;
        }
        LastSent[index] = fader->Position();
        SendCommand(CM_MCS_STEREO(static_cast<std::uint8_t>(fader->Position()), static_cast<std::uint8_t>(k)), 0);
        if (left && *pair.ganged) {
            // The right fader follows at the stored offset; where it hits an
            // end, the left fader is pulled back so the offset still holds.
            const int target = fader->Position() - *pair.offset;
            LastSent[pair.lastRight] = target;
            int moved = target;
            if (target < fader->Min()) {
                moved = 0;
            } else if (target > fader->Max()) {
                moved = pair.rightFader->Max();
            }
            pair.rightFader->SetPosition(moved);
            const int offset = std::abs(*pair.offset);
            if (pair.rightFader->Position() == 0) {
                fader->SetPosition(offset + pair.rightFader->Min());
            } else if (pair.rightFader->Position() == pair.rightFader->Max()) {
                fader->SetPosition(pair.rightFader->Max() - offset);
            }
        }
    }
    RefreshFaderHint(fader, FaderHintText(fader));
}

void TfrmMain::FollowGangedLeft(int k)
{
    if (k != 1 && k != 3) {
        return;
    }
    const OutputPair pair = Pair(k == 3);
    if (*pair.ganged) {
        // The device moves a ganged right output with its left one, typed
        // or dragged: the right fader shows where it now stands.
        const int target = pair.leftFader->Position() - *pair.offset;
        pair.rightFader->SetPosition(std::clamp(target, pair.rightFader->Min(), pair.rightFader->Max()));
    }
}

void TfrmMain::btnSubLClick(TPanel* panel)
{
    const int k = Tag(panel);
    if (k < 1 || k > 4) {
        return;
    }
    const OutputPair pair = Pair(k >= 3);
    const bool left = k == 1 || k == 3;
    const auto channelByte = static_cast<std::uint8_t>(k);
    if (!IsPressed(panel)) {
        SetPressed(panel, true);
        SendCommand(CM_MCS_MUTE(1, channelByte), 0);
        if (left) {
            SetBarPosition(pair.leftBar, pair.leftBar->minimum());
            if (IsPressed(pair.gangedPanel)) {
                SetBarPosition(pair.rightBar, pair.rightBar->minimum());
                pair.rightEdit->setText(QStringLiteral("mute"));
            }
            pair.leftEdit->setText(QStringLiteral("mute"));
        } else {
            SetBarPosition(pair.rightBar, pair.rightBar->minimum());
            pair.rightEdit->setText(QStringLiteral("mute"));
        }
    } else {
        SetPressed(panel, false);
        SendCommand(CM_MCS_MUTE(0, channelByte), 0);
        // The panel's own edit box keeps "mute" until the device reports.
        if (left) {
            SetBarPosition(pair.leftBar, 79 - pair.leftFader->Position());
            if (IsPressed(pair.gangedPanel)) {
                SetBarPosition(pair.rightBar, 79 - pair.rightFader->Position());
                pair.rightEdit->setText(QString::fromStdString(
                    WholeDbLevelText(PositionToDb(79 - pair.rightBar->value()))));
            }
        } else {
            SetBarPosition(pair.rightBar, 79 - pair.rightFader->Position());
        }
    }
}

void TfrmMain::btnSubGangedClick(TPanel* panel)
{
    const int p = Tag(panel);
    if (p != 1 && p != 2) {
        return;
    }
    const bool gang = !IsPressed(panel);
    ShowPairGanged(p == 2, gang, true);
    SendCommand(CM_MCS_GANGED(gang ? 1 : 0, static_cast<std::uint8_t>(p)), 0);
}

void TfrmMain::ShowPairGanged(bool master, bool ganged, bool writeMuteText)
{
    const OutputPair pair = Pair(master);
    *pair.ganged = ganged;
    SetPressed(pair.gangedPanel, ganged);
    if (ganged) {
        pair.rightMute->hide();
        pair.leftMute->move(pair.gangedPanel->x(), pair.leftMute->y());
        if (IsPressed(pair.leftMute) || IsPressed(pair.rightMute)) {
            SetPressed(pair.leftMute, true);
            SetPressed(pair.rightMute, true);
            SetBarPosition(pair.leftBar, pair.leftBar->minimum());
            SetBarPosition(pair.rightBar, pair.rightBar->minimum());
            if (writeMuteText) {
                pair.leftEdit->setText(QStringLiteral("mute"));
                pair.rightEdit->setText(QStringLiteral("mute"));
            }
        }
        *pair.offset = pair.leftFader->Position() - pair.rightFader->Position();
        pair.rightFader->setEnabled(false);
    } else {
        pair.rightMute->show();
        pair.leftMute->move(pair.leftEdit->x(), pair.leftMute->y());
        SetPressed(pair.rightMute, IsPressed(pair.leftMute));
        pair.rightFader->setEnabled(true);
    }
}
