// What the window offers beyond its original, kept out of TfrmMain: backup
// and restore of the device's state, undo and redo of the user's changes,
// reconnecting by itself, and saving the traffic log. Backups, restores and
// undo steps read the device's state from the connection's engine.
#pragma once

#include "DeviceState.h"
#include "LogLine.h"
#include "UndoHistory.h"

#include <QElapsedTimer>
#include <QObject>

class AutoReconnect;
class QCheckBox;
class QPushButton;
class QTimer;
class TfrmMain;

class WindowAdditions : public QObject {
public:
    explicit WindowAdditions(TfrmMain& window);
    ~WindowAdditions() override;

    QPushButton* btnBackup = nullptr;
    QPushButton* btnRestore = nullptr;
    QCheckBox* cbReconnect = nullptr;

    // Every frame the window logs, sent or received.
    void OnFrame(const LCmd& frame, Direction direction);
    // True when the serial error was handled (waiting for the port).
    bool OnLinkError(int code);

    // The device as the engine last read it (empty while disconnected).
    const DeviceState& Device() const;

    bool SaveBackup(const QString& path);
    // Plans, asks, then sends; false when nothing was sent.
    bool Restore(const QString& path);
    bool SaveLog(const QString& path);
    void Undo();
    void Redo();

    // Reads the stored choices at start (after the window's settings).
    void Start();
    void ApplyLanguage();
    AutoReconnect& Reconnect() { return *reconnect_; }

private:
    // An undo or redo step, with the status text when there is none.
    void Step(bool (UndoHistory::*step)(), int nothingId);
    void BuildControls();
    void Notice(const QString& text);
    // Sends on the user's behalf without making an undo step of it.
    void SendUnrecorded(const LCmd& command);
    // Tells, once the device has confirmed them (or a while has passed), what a restore sent.
    void WatchRestore(const QByteArray& file, int sent);

    TfrmMain& w_;
    UndoHistory undo_;
    AutoReconnect* reconnect_ = nullptr;
    QElapsedTimer clock_;
    bool sendingOurOwn_ = false;
    QTimer* restoreTimer_ = nullptr;
    QByteArray restoreFile_;
    int restoreSent_ = 0;
    int restoreLimitMs_ = 0;
    QElapsedTimer restoreClock_;
    // Whether the engine has read every item and is not reading again: before
    // that its values are guesses, which neither a backup, a restore's
    // differences nor an undo step may use (says so when not).
    bool StateKnown();
    bool sameAction_ = false;  // a command was recorded in this turn of the event loop
};
