// The device behind `kestractl serve`: one KESTRA, mirrored live for any
// number of network clients (HTTP, WebSocket, OSC, MQTT).
//
//   BridgeCore core(QStringLiteral("/dev/ttyUSB0"));
//   if (!core.start()) { qWarning() << core.lastError(); }
//   connect(&core, &BridgeCore::stateChanged, ...);     // merge patches
//   core.applyPatch(patch, [](bool ok, QString error, QJsonObject state) { ... });
//
// Threads. BridgeCore lives on the thread that creates it (the one running
// the Qt event loop); every public call and every signal and callback
// belongs to that thread. The port is driven by a link of its own on a
// worker thread, which polls the device every 100 ms while the line is idle,
// so that what the device reports by itself (ducking lamps, levels, changes
// made at the device) is mirrored too. The two talk only through queued
// calls; the core keeps the last published copy of the state, so state()
// never waits for the line.
//
// Changes. A patch becomes the commands for the items it changes. They wait
// in one queue with the window's merging rule: a change replaces only a
// waiting change for the same item (so a fader dragged by many hands never
// floods the line, and no other control's change is lost). `done` runs once
// the device has confirmed every item of the patch (ok, with the state
// then), or when one was refused or the line failed (not ok, with a text).
// A change superseded by a later one for the same item completes with the
// later one: every client sees the value the device confirmed.
//
// Line failures. A failed line is reopened once a second; the state is read
// whole again before onlineChanged(true). Waiting changes fail with the line.
#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QThread>

#include <functional>
#include <map>
#include <optional>

class BridgeLink;
struct DeviceState;

class BridgeCore : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(bool ok, QString error, QJsonObject state)>;

    explicit BridgeCore(QString portName, QObject* parent = nullptr);
    ~BridgeCore() override;

    // Opens the port and reads the full state; false (see lastError()) when
    // either fails within the deadline.
    bool start(int timeoutMs = 15000);
    QString lastError() const { return lastError_; }
    QString portName() const { return portName_; }

    // The `kestractl get --json` document, as last confirmed or reported.
    QJsonObject state() const { return state_; }
    // What each channel's level bar shows (the gain, or the ducked level the
    // device reports), with the window's level text:
    // {"mic3": {"position": 40, "text": "-20dB"}, ...}. Read-only.
    QJsonObject levels() const { return levels_; }
    bool online() const { return online_; }

    // Checks a merge patch of the state document without sending anything:
    // the message names the field (unknown keys, wrong types, out of range,
    // read-only members).
    static std::optional<QString> validatePatch(const QJsonObject& mergePatch);

    void applyPatch(const QJsonObject& mergePatch, Done done);
    void loadPreset(int n, Done done);  // 1..3; the state is read again after loading
    void savePreset(int n, Done done);  // 1..3

signals:
    // After every confirmed or reported change of the state document.
    void stateChanged(const QJsonObject& mergePatch);
    // Channels whose shown level changed, in the form of levels().
    void levelsChanged(const QJsonObject& levelsPatch);
    // The line went down, or came back up (after a full read).
    void onlineChanged(bool online);

protected:
    bool event(QEvent* e) override;

private:
    friend class BridgeLink;
    // Called (queued) by the link.
    void Publish(const DeviceState& state, const QJsonObject& levels);
    void SetOnline(bool online, const QString& why);
    void Finish(int id, bool ok, const QString& error);
    int Register(Done done);

    QString portName_;
    QString lastError_;
    QThread thread_;
    BridgeLink* link_ = nullptr;  // lives on thread_
    QJsonObject state_;
    QJsonObject levels_;
    bool online_ = false;
    bool started_ = false;
    int nextId_ = 1;
    std::map<int, Done> waiting_;
};
