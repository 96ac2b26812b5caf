// The command line's way to one KESTRA: open a port by name, read the whole
// state, apply changes (each confirmed by the device's report), presets,
// switch-on, factory default and the firmware update.
//
// A synchronous wrapper around DeviceConversation, which owns the line:
// every call submits its jobs there and runs a local event loop on the
// calling thread until they end (the conversation's own deadlines end them),
// and returns what went wrong as a value. One session belongs to one
// thread; sessions on different threads run at the same time.
#pragma once

#include "DeviceState.h"
#include "EventWait.h"
#include "LineSettings.h"
#include "SessionError.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class DeviceConversation;
class UpdateProgress;

class DeviceSession : public QObject {
public:
    static constexpr int kDefaultTimeoutMs = 2000;
    static constexpr int kBaud = comm::LineSettings{}.baudRate;

    explicit DeviceSession(int replyTimeoutMs = kDefaultTimeoutMs);
    ~DeviceSession() override;

    // The same names the window takes with --port (a device path, ...).
    SessionError Open(const QString& portName);
    void Close();
    bool IsOpen() const;
    const QString& PortName() const { return portName_; }

    // The full-state inquiries, in the window's order.
    SessionError ReadState(DeviceState& state);
    // Sends the changes one by one, each ended before the next: confirmed by
    // a report, or (counted in `acknowledged`) accepted without one.
    SessionError Apply(const std::vector<StateChange>& changes, int* acknowledged = nullptr);
    // Sends what differs from `target` and reads back to verify. `current`:
    // the state just read, else it is read first. `sent` counts the commands
    // sent. ducking.active is not compared.
    SessionError Restore(const DeviceState& target, int* sent = nullptr, const DeviceState* current = nullptr);

    SessionError LoadPreset(int n);  // 1..3
    SessionError SavePreset(int n);  // 1..3
    // Presets and switch-on back to the factory set, then the live state too.
    SessionError FactoryDefault();

    // Polls the device and hands every reply to `report` until it returns
    // false or `durationMs` passed (negative: no end).
    SessionError Watch(const std::function<bool(const ReportEvent&)>& report, int durationMs);

    // Programs `image` (firmware::kImageSize bytes), on a line of the
    // update's own; the session is closed afterwards.
    SessionError Update(const std::vector<std::uint8_t>& image,
                        const std::function<void(const UpdateProgress&)>& progress, bool inBootLoader = false);

private:
    using Submit = std::function<void(std::function<void(const SessionError&)>)>;
    // Submits jobs and waits until `submit`'s callback ran.
    SessionError Run(const Submit& submit);
    // Runs the event loop until done() or the deadline; false on timeout.
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs);
    void Wake();
    SessionError NotOpen() const;

    int timeoutMs_;
    QString portName_;
    std::unique_ptr<DeviceConversation> conv_;
    std::optional<SessionError> lineError_;
    comm::EventWait wait_;
};
