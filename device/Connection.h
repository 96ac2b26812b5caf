// The window's connection to the KESTRA: opening and closing the port, the
// command sender, the full-state read, reply handling and serial errors.
// Everything here runs on the user-interface thread.
#pragma once

#include "LogLine.h"
#include "Lcmd.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class CommErrEvent;
class QEvent;
class QTimer;
class RecCompleteEvent;
class ReportDispatcher;
class TDialogs;
class TfrmMain;

class DeviceConnection : public QObject {
public:
    using LogFn = std::function<void(const LCmd& frame, Direction direction, quint32 replyTime)>;

    DeviceConnection(TfrmMain& window, TDialogs& dialogs, LogFn log);
    ~DeviceConnection() override;

    // Routes replies (1360) and serial errors (1361) of the window's events;
    // true when the event was one of them.
    bool HandleEvent(QEvent* e);

    void Connect();
    void Disconnect();
    // Frames and submits a command (senderFlag 1 appends, 0 merges) and logs
    // it. Without a connection the command vanishes silently.
    void SendCommand(const LCmd& command, std::uint8_t senderFlag);
    // The same without a log line, in the given build mode (0 raw, 1 framed).
    void SendUnlogged(const LCmd& command, std::uint8_t senderFlag, std::uint8_t buildMode);
    void RequestFullState();
    bool SetConnectionBaudRate(int rate);

    void OnRecComplete(const RecCompleteEvent& reply);
    void OnCommErr(const CommErrEvent& error);

    // Busy and error texts of the device: shown in the second status panel
    // for kMessageHoldMs, during which reply lines do not overwrite them.
    void ShowDeviceMessage(const QString& text);
    static constexpr int kMessageHoldMs = 1500;
    QTimer* tmMsg() const { return tmMsg_; }

    ReportDispatcher& Dispatcher() { return *dispatcher_; }

    // The silence limit of every driver opened from now on (tests shorten it).
    void SetSilenceLimitMs(int ms) { silenceLimitMs_ = ms; }

private:
    void DropConnection();
    QString ConnectedText() const;

    TfrmMain& w_;
    TDialogs& dialogs_;
    LogFn log_;
    std::unique_ptr<ReportDispatcher> dispatcher_;
    QTimer* tmMsg_;
    QString deviceMessage_;
    int silenceLimitMs_;
};
