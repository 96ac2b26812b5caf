// The device behind `kestractl serve`: one KESTRA, mirrored live for any
// number of network clients (HTTP, WebSocket, OSC, MQTT).
//
//   BridgeCore core(QStringLiteral("/dev/ttyUSB0"));
//   if (!core.Start()) { qWarning() << core.LastError(); }
//   connect(&core, &BridgeCore::stateChanged, ...);     // merge patches
//   core.ApplyPatch(patch, [](int status, QString message, QJsonObject state) { ... });
//
// Threads. BridgeCore lives on the thread that creates it (the one running
// the Qt event loop); every public call and every signal and callback
// belongs to that thread. The device is driven by a DeviceConversation on
// the same thread (its port opens and reads on a reader thread of its own,
// so nothing here waits for the line), which polls the device every 100 ms
// while the line is idle, so that what the device reports by itself
// (ducking lamps, levels, changes made at the device) is mirrored too.
//
// Changes. A patch becomes one change for each item it names, under the
// conversation's merge rule: a change replaces only a waiting change for the
// same item with no preset load or full read between them (so a fader
// dragged by many hands never floods the line, no other control's change is
// lost, and nothing overtakes a load). Each is judged when it reaches the
// head of the queue: an item the device already holds then needs no frame.
// `done` runs once the device has confirmed every item of the patch (ok,
// with the state then), or when one was refused or the line failed (not
// ok, with a text). Changes that joined or superseded one another share the
// outcome of the one that went out: every client sees what the device
// confirmed or refused.
//
// Line failures. A failed line, or a device that was not there at start, is
// opened again once a second; the state is read whole again before
// onlineChanged(true). Waiting changes fail with the line.
#pragma once

#include "BridgeCalls.h"
#include "Metrics.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class DeviceConversation;
struct SessionError;

class BridgeCore : public QObject {
    Q_OBJECT
public:
    using Done = BridgeCalls::Done;
    // The status (see BridgeCalls::Done) that a job's outcome stands for.
    static int StatusOf(const SessionError& outcome);

    explicit BridgeCore(QString portName, QObject* parent = nullptr);
    ~BridgeCore() override;

    // Opens the port and reads the full state in the background; Online()
    // once it was read, and again after every failure.
    void Open();
    // Open(), then waits: false (see LastError()) when the port or the read
    // fails within the deadline. The core keeps trying after a false.
    bool Start(int timeoutMs = 15000);
    // Why the state cannot be served now, for a 503.
    QString OfflineText() const;
    QString LastError() const { return lastError_; }
    QString PortName() const { return portName_; }

    // The `kestractl get --json` document, as last confirmed or reported.
    QJsonObject State() const { return state_; }
    // What each channel's level bar shows (the gain, or the ducked level the
    // device reports), with the window's level text:
    // {"mic3": {"position": 40, "text": "-20dB"}, ...}. Read-only.
    QJsonObject Levels() const { return levels_; }
    bool Online() const { return online_; }

    // Checks a merge patch of the state document without sending anything:
    // the message names the field (unknown keys, wrong types, out of range,
    // read-only members).
    static std::optional<QString> ValidatePatch(const QJsonObject& mergePatch);

    void ApplyPatch(const QJsonObject& mergePatch, Done done);
    void LoadPreset(int n, Done done);  // 1..3; the state is read again after loading
    void SavePreset(int n, Done done);  // 1..3

    DeviceConversation& Conversation() { return *conv_; }
    // The line's exchanges, failures and reply times since the core was made.
    const LineCounters& Counters() const { return counters_; }

signals:
    // After every confirmed or reported change of the state document.
    void stateChanged(const QJsonObject& mergePatch);
    // Channels whose shown level changed, in the form of levels().
    void levelsChanged(const QJsonObject& levelsPatch);
    // The line went down, or came back up (after a full read).
    void onlineChanged(bool online);

private:
    // The first read-only member the patch names (the header, ducking.active).
    static std::optional<QString> ReadOnlyIn(const QJsonObject& mergePatch);
    void Publish();
    void SetOnline(bool online, const QString& why);
    void Preset(int n, bool save, Done done);

    QString portName_;
    QString lastError_;
    std::unique_ptr<DeviceConversation> conv_;
    LineCounters counters_;
    QJsonObject state_;
    QJsonObject levels_;
    bool online_ = false;
};
