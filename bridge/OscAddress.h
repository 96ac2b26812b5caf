// The bridge's OSC addresses and what their arguments mean, as merge patches
// of the state document (StateJson.h) and back. No sockets here: OscBridge
// does the UDP side with liblo.
//
//   /kestra/mic/N/gain      f  dB, -76..0, snapped to the nearest level; nil: mute position
//   /kestra/mic/N/position  i  0..79
//   /kestra/mic/N/mute      i  0/1 (also T/F, or a float 0/1 from a button)
//   /kestra/mic/N/priority  i  0/1
//   /kestra/line/...        gain, position, mute as a microphone; source s or i 0..4
//   /kestra/sub|master/left|right/gain|position|mute, /kestra/sub|master/ganged
//   /kestra/ducking/manual, threshold, attenuation, hold_time, fade_out, fade_in;
//   /kestra/ducking/active  (query and subscription only)
//   /kestra/preset/load|save  i  1..3
//   /kestra/subscribe  [i]     with the nonce of /kestra/nonce: send every change
//                              to the sender for 10 s (OscBridge.h)
//
// A message without arguments is a query of that value.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <variant>
#include <vector>

// One OSC argument by its liblo type tag: numbers ('i', 'h', 'f', 'd') in
// `number`, strings ('s', 'S') in `text`; 'T', 'F' and 'N' carry no value.
struct OscArg {
    char type = 'N';
    double number = 0.0;
    QString text;
    bool operator==(const OscArg&) const = default;
};

struct OscRequest {
    enum Kind { Set, Query, LoadPreset, SavePreset, Subscribe } kind = Set;
    QJsonObject patch;  // Set: a merge patch the core takes (BridgeCore::ValidatePatch)
    QStringList path;   // Query: the document path of the value
    int preset = 0;     // LoadPreset, SavePreset: 1..3
    qint64 nonce = -1;  // Subscribe: the nonce echoed, -1 for none
};

// An error text (naming the address and what it accepts) or the request.
std::variant<OscRequest, QString> ParseOscMessage(const QString& address, const std::vector<OscArg>& args);

struct OscMessage {
    QString address;
    OscArg arg;
    bool operator==(const OscMessage&) const = default;
};

// The messages that tell a subscriber about `patch` (a merge patch of the
// state document or the whole document), one per address it touches.
std::vector<OscMessage> OscMessagesFor(const QJsonObject& patch);

// The answer to a query of `path` (from ParseOscMessage) in `state`.
OscMessage OscAnswer(const QStringList& path, const QJsonObject& state);
