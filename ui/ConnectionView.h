// What the connection tells the window it serves, and the little it asks of
// it: the window decides what its own controls do with the news.
#pragma once

#include <QString>

class QWidget;
struct ReportEvent;

class ConnectionView {
public:
    // The widget the updater's driver posts its events to, and the dialogs' owner.
    virtual QWidget& Host() = 0;
    virtual void ShowConnectionState(const QString& text) = 0;  // status panel 0
    virtual void ShowMessage(const QString& text) = 0;          // status panel 1
    // Why the line is quiet (status panel 2); empty once the device answers.
    virtual void ShowLineNote(const QString& text) = 0;
    // The connection now stands, or no longer does.
    virtual void ConnectionChanged(bool connected) = 0;
    // A report of the device, for the controls; replyText becomes
    // "unknow command: XX" for one the window does not know.
    virtual void ShowReport(const ReportEvent& report, QString& replyText) = 0;
    // A serial error the window deals with itself; true: no error box.
    virtual bool HandleLinkLost(int code) = 0;

protected:
    ~ConnectionView() = default;
};
