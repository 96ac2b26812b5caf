// The device state as JSON, the form of `get --json`, backups and restores:
//
//   { "format": "kestra-state", "version": 1,
//     "channels": { "mic1": {"position": 20, "gain_db": -10.0, "mute": false, "priority": false},
//                   ... "mic6", "line", "sub_left", "sub_right", "master_left", "master_right"
//                   (the last five without "priority") },
//     "ganged": {"sub": false, "master": false},
//     "line_source": "tuner" | "tape" | "cd" | "aux" | "off",
//     "ducking": {"manual": false, "active": false, "threshold": 10, "attenuation": 20,
//                 "hold_time": 50, "fade_out": 10, "fade_in": 10},
//     "switch_on": "off" | "preset1" | "preset2" | "preset3" }
//
// "position" is the gain position 0..79; "gain_db" its level on the gain
// scale, null at the mute position. Either may be given; where both are, they
// must name the same level (a channel whose two disagree is refused).
// Ducking values are the device's bytes; "ducking.active" is read-only and
// ignored when read. Reading merges into a given state, so a file may hold
// only some items; unknown keys, wrong types and out-of-range values are errors.
#pragma once

#include "DeviceState.h"

#include <QByteArray>
#include <QIODevice>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <optional>

// A ducking setting's key in the document and the bytes the device takes.
struct DuckRange {
    const char* key;
    int lo, hi;
};
// By DuckSetting (0 .. kDuckSettings - 1).
const DuckRange& DuckSettingRange(int setting);

QJsonObject StateToJson(const DeviceState& state);

// A "gain_db" value (a level of the gain scale, null for the mute position)
// as a position; on error its text, naming `path`.
std::optional<QString> ReadGainDb(const QString& path, const QJsonValue& value, std::uint8_t& position);
// "off", "tuner", "tape", "cd", "aux": by DeviceState::lineSource.
const QStringList& LineSourceNames();

// Merges `json` into `state`; on error returns its text (naming the key and
// what is allowed) and leaves `state` untouched. wholeFile: a header
// ("format", "version") may be left out, but when given must be this one.
// `named`, when given, gets the items the JSON names (whether or not their
// values differ).
std::optional<QString> MergeStateJson(const QJsonObject& json, DeviceState& state, bool wholeFile,
                                      ItemSet* named = nullptr);

// The same for a file's bytes: parse errors name the line and column.
std::optional<QString> MergeStateFile(const QByteArray& bytes, DeviceState& state);

// A state file is about 2 KiB; one larger than this (the JSON API's limit for
// a body) is refused before it is read whole, so that `restore /dev/zero`
// ends with a message instead of running out of memory.
inline constexpr qsizetype kMaxStateFileBytes = 64 * 1024;

// Reads a state file from an open device into `bytes`, at most the limit;
// on error returns its text.
std::optional<QString> ReadStateFile(QIODevice& in, QByteArray& bytes);

// `set` arguments "KEY=VALUE" (keys are JSON paths without "channels.",
// values are words: on/off, numbers, names) merged into `state`.
std::optional<QString> MergeSettings(const QStringList& assignments, DeviceState& state);
