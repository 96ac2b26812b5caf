// The window's state as the user reads it, as short strings to compare.
#pragma once

#include "Colors.h"
#include "Fmain.h"
#include "Panel.h"
#include "Rhtrack.h"

#include <QLineEdit>
#include <QProgressBar>

#include <string>

// A channel strip in one string: fader position, level bar, level text, and
// " muted" while its mute button is down. Channels in the state file's order:
// line, sub L/R, master L/R, mic 1..6.
inline std::string StripText(const TfrmMain& w, int channel)
{
    const int m = channel - 4;
    const TrhTrackBar* const faders[] = {w.tbLine, w.tbSubLeft, w.tbSubRight, w.tbMasterLeft, w.tbMasterRight};
    const QProgressBar* const bars[] = {w.pgbLine, w.pgbSubLeft, w.pgbSubRight, w.pgbMasterLeft, w.pgbMasterRight};
    const QLineEdit* const edits[] = {w.edLine, w.edSubLeft, w.edSubRight, w.edMasterLeft, w.edMasterRight};
    const TPanel* const mutes[] = {w.btnLine, w.btnSubL, w.btnSubR, w.btnMasterL, w.btnMasterR};
    const bool mic = channel >= 5;
    return std::to_string((mic ? w.tbMic[m] : faders[channel])->Position()) + " " +
           std::to_string((mic ? w.pgbMic[m] : bars[channel])->value()) + " " +
           (mic ? w.edMic[m] : edits[channel])->text().toStdString() +
           (IsPressed(mic ? w.Panel[m] : mutes[channel]) ? " muted" : "");
}

// Lamp colours, one letter each: L lime, g green, Y yellow, o olive.
inline std::string Lamps(TPanel* const* lamps, int first, int last)
{
    std::string out;
    for (int i = first; i <= last; ++i) {
        const TColor c = lamps[i]->Color();
        out += c == clLime ? "L" : c == clYellow ? "Y" : c == clOlive ? "o" : c == clGreen ? "g" : "?";
    }
    return out;
}
