// The window's connection to the KESTRA: an engine (DeviceConversation) owns
// the line while connected: it queues, merges, polls, reads the whole state
// and keeps the device's state; this class turns the window's commands into
// its jobs and its reports into controls, status texts and log lines, and
// asks the user what to do when the line fails. A firmware update, which
// starts only while disconnected, is a run of its own (UpdateRun).
// Everything here runs on the user-interface thread.
#pragma once

#include "LogLine.h"
#include "Lcmd.h"
#include "PortSetting.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class DeviceConversation;
class LCommProc;
struct ReportEvent;
struct SessionError;
class QTimer;
class ConnectionView;
class RecCompleteEvent;
class TDialogs;

class DeviceConnection : public QObject {
public:
    using LogFn = std::function<void(const LCmd& frame, Direction direction, quint32 replyTime)>;

    DeviceConnection(ConnectionView& view, TDialogs& dialogs, LogFn log);
    ~DeviceConnection() override;

    // The port opened from now on; the window's port choice writes it.
    PortSetting& Port() { return port_; }
    const PortSetting& Port() const { return port_; }
    // The demo's device has no port the user would know: it is named instead.
    void NameSimulatedDevice() { simulated_ = true; }
    bool SimulatedDevice() const { return simulated_; }
    // What the status bar calls the connected device.
    QString ConnectionName() const;
    // Asked from now on (tests answer them themselves).
    void SetDialogs(TDialogs& dialogs) { dialogs_ = &dialogs; }

    // The engine's line while connected, or none. Commands are dropped
    // while there is none.
    LCommProc* Line() const { return line_; }
    bool Connected() const { return line_ != nullptr; }

    void Connect();
    // The same without waiting for the port: it opens on its reader thread
    // (a network port may take seconds to answer) and `then` hears whether
    // the connection stands. With `retryMs` >= 0 a failed open is no end:
    // the engine tries again that much later, `then(false)` after each
    // failure, until it opens or DropOpening. Nothing happens while
    // connected or opening.
    void ConnectInBackground(std::function<void(bool connected)> then, int retryMs = -1);
    // Gives up an open under way (and its retries).
    void DropOpening();
    bool Opening() const { return opening_; }
    void Disconnect();
    // Frames and submits a command (senderFlag 1 appends, 0 merges) and logs
    // it. Without a connection the command vanishes silently.
    void SendCommand(const LCmd& command, std::uint8_t senderFlag);
    // Hears every command SendCommand takes, as it takes it.
    void SetSubmitted(std::function<void(const LCmd&)> submitted) { submitted_ = std::move(submitted); }
    void RequestFullState();
    // The engine of the regular connection (nullptr while disconnected).
    DeviceConversation* Engine() const { return engine_.get(); }
    // Every item was read and no whole-state read is waiting or under way.
    bool StateRead() const;

    // One reply as a driver hands it over: the controls, the status and the log.
    void OnRecComplete(const RecCompleteEvent& reply);
    // What the user decides when the line failed (a serial error code):
    // retry, abort (disconnected) or ignore (the line stays closed).
    void AskAfterFailure(int code);
    // "COMn connected", or the named device's.
    QString ConnectedText() const;

    // Busy and error texts of the device: shown in the second status panel
    // for kMessageHoldMs, during which reply lines do not overwrite them.
    void ShowDeviceMessage(const QString& text);
    static constexpr int kMessageHoldMs = 1500;
    QTimer* tmMsg() const { return tmMsg_; }

    // The silence limit of every driver opened from now on (tests shorten it).
    void SetSilenceLimitMs(int ms) { silenceLimitMs_ = ms; }
    int SilenceLimitMs() const { return silenceLimitMs_; }


private:
    void DropConnection();
    std::unique_ptr<DeviceConversation> NewEngine(int reopenMs = -1);
    // The engine opened (or failed to) becomes the connection.
    void Opened(bool ok, const QString& why);
    void OnReport(const LCmd& frame, const ReportEvent& report, quint32 replyTime);
    // What the engine alone knows of an outcome, in the status bar.
    void TellOutcome(const SessionError& e);
    void OnLineLost(const SessionError& why);

    ConnectionView& view_;
    TDialogs* dialogs_;
    LogFn log_;
    PortSetting port_;
    bool simulated_ = false;
    LCommProc* line_ = nullptr;
    QTimer* tmMsg_;
    QString deviceMessage_;
    int silenceLimitMs_;
    std::unique_ptr<DeviceConversation> engine_;
    quint64 engines_ = 0;  // engines made so far: the number of the current one
    bool opening_ = false;
    std::function<void(bool)> openedThen_;
    std::function<void(const LCmd&)> submitted_;
};
