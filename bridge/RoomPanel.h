// A room panel: the few controls an installer hands to the people in a room
// ("Lectern", "Music", "Volume"), each within limits the installer set, served
// by `kestractl serve --panel FILE` at /room/NAME/. The file:
//
//   { "format": "kestra-panel", "version": 1,          (optional, but this one)
//     "name": "hall",                                   (default: the file's name)
//     "title": "Small hall", "language": "en" | "de", "pin": "2580", "colour": "#1f6feb",
//     "controls": [
//       {"gain": "mic1", "label": "Lectern", "min_db": -40, "max_db": -6},
//       {"gain": ["master_left", "master_right"], "label": "Volume", "max_db": -10},
//       {"mute": "mic2", "label": "Radio mic"},
//       {"line_source": ["cd", "aux", "off"], "label": "Music"},
//       {"preset": 1, "label": "Lecture"},
//       {"ducking": "manual", "label": "Speech first"} ] }
//
// A gain's limits are levels of the gain scale; without "min_db" the fader
// goes down to the mute position, without "max_db" up to 0 dB. A stereo
// output is named with both sides, since the device moves both when they
// are ganged. The server enforces all of it: the panel's token reaches only
// the panel's items, within its limits.
#pragma once

#include "JsonPlace.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

struct DeviceState;

struct RoomControl {
    enum class Kind { Gain, Mute, LineSource, Preset, Ducking };
    Kind kind = Kind::Gain;
    QString label;
    std::vector<int> channels;  // gain, mute: state indexes
    int top = 0;                // gain: the highest level allowed, as a position (0 = 0 dB)
    int bottom = 79;            // gain: the lowest, as a position (79 = mute position)
    std::vector<int> sources;   // line source values offered
    int preset = 0;             // 1..3
};

struct RoomPanel {
    QString name;
    QString title;
    QString language = QStringLiteral("en");
    QString pin;  // empty: none asked for
    QString colour;
    std::vector<RoomControl> controls;
    QString token;  // given by whoever serves it

    // What the page builds itself from (no token, no PIN).
    QJsonObject Description() const;
    // The members of a state document, or a merge patch of one, that this
    // panel shows; empty when none.
    QJsonObject Filter(const QJsonObject& document) const;
    // The level bars of this panel's gain channels (BridgeCore::Levels()).
    QJsonObject FilterLevels(const QJsonObject& levels) const;
    // Why a merge patch (already valid for the state document) may not be
    // sent from this panel: an item that is not on it, a source it does not
    // offer, a level beyond a limit (judged on the state it would make of
    // `now`). Nothing when it may.
    std::optional<QString> CheckPatch(const QJsonObject& patch, const DeviceState& now) const;
    bool LoadsPreset(int n) const;
    // What the panel allows, one line each, for `kestractl panel check`.
    QString Summary() const;
};

// The panel in `bytes`; on error "line L, column C: reason" (where the fault
// is in the text). `fallbackName`: the name when the file gives none.
std::optional<QString> ParseRoomPanel(const QByteArray& bytes, const QString& fallbackName, RoomPanel& panel);
// The same for a file (at most 64 KiB): errors are "FILE:LINE:COLUMN: reason",
// or "FILE: reason" when it cannot be read.
std::optional<QString> ReadRoomPanel(const QString& fileName, RoomPanel& panel);
