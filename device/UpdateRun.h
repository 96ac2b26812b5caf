// One firmware update, from opening the port to the boot loader's last
// reply, for the window and for kestractl alike. The run opens a line of its
// own (no regular connection is open meanwhile), hands every reply to the
// updater (LUpdate), and handles the line's failures: silence or a broken
// line before the boot loader has answered is retried at the boot loader's
// speed a few times, anything later ends the run. What a person sees of it
// goes to an UpdateView.
// Runs on the thread that made it; its line's events come to it there.
#pragma once

#include "LUpdate.h"
#include "UpdateProgress.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class LCommProc;
class QTimer;

enum class UpdateEnd {
    Finished,        // the device runs its new firmware ("Update OK")
    NotInBootLoader, // it answered "done" before its boot loader had announced itself
    NoBootLoader,    // nothing answered at the boot loader's speed either
    LineFailed,      // the line broke or fell silent after the boot loader answered
};

class UpdateView {
public:
    virtual ~UpdateView() = default;
    virtual void Progress(const UpdateProgress& shown) = 0;
    // The updater's messages: "Update OK , Please ReConnect!!", the boot
    // loader's error report, a refused speed change.
    virtual void Information(const std::string& text) = 0;
    virtual void Error(const std::string& text) = 0;
    virtual void Plain(const std::string& text) = 0;
    // The framed restart into the boot loader, as it goes on the line.
    virtual void Sent(const LCmd& /*framed*/) {}
    // The run's line is closed by now and nothing more goes out; the run
    // stays started until End. `code`: the serial error of LineFailed.
    virtual void Ended(UpdateEnd how, int code) = 0;
};

class UpdateRun : public QObject {
public:
    // Tries at the boot loader's speed after the line failed before the boot
    // loader answered, before giving up.
    static constexpr int kBootLoaderTries = 3;

    UpdateRun(UpdateView& view, ByteVector image, int silenceLimitMs);
    ~UpdateRun() override;

    // Opens the port (number and name as the window stores them; the
    // number counts when the name is empty) at the regular speed and asks the
    // firmware to restart into its boot loader, or with `inBootLoader` at the
    // boot loader's speed and starts it at once. False, with nothing left
    // open, when the port does not open.
    bool Start(int portNumber, const QString& portName, bool inBootLoader);
    // Ends the run: the line is closed and nothing more goes out.
    void End();
    // Started and not ended (its line may be closed by now).
    bool Active() const { return active_; }
    // The run's line, while it is open.
    LCommProc* Line() const { return line_.get(); }

protected:
    bool event(QEvent* e) override;

private:
    class Host;
    void OnReply(const ByteVector& reply);
    void OnLineError(int code);
    void CloseLine();
    void Finish(UpdateEnd how, int code = 0);
    bool RestartAtBootLoaderSpeed();
    void SendRaw(const LCmd& command);

    UpdateView& view_;
    std::unique_ptr<Host> host_;
    LUpdate update_;
    UpdateProgress shown_;
    int silenceLimitMs_;
    int portNumber_ = 0;
    QString port_;
    std::unique_ptr<LCommProc> line_;
    QTimer* timer_;
    std::function<void()> pending_;
    int tries_ = 0;
    bool active_ = false;
    bool finished_ = false;
};
