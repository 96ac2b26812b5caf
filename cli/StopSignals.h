// Ctrl+C and the system's request to stop (SIGINT and SIGTERM; on Windows
// the console's Ctrl+C, Ctrl+Break and close), the one part of kestractl
// that differs between POSIX and Windows.
#pragma once

#include <memory>

// `handler` runs at the next stop request, once: the default comes back
// as it runs, so a second Ctrl+C ends the process the usual way. SIG_DFL
// puts the default back now.
void HandleStopSignals(void (*handler)(int));

// While one lives, a stop request ends the Qt event loop, so that what runs
// in it (the device's port above all) is closed in order.
class QuitOnStopRequest {
public:
    QuitOnStopRequest();
    ~QuitOnStopRequest();
    QuitOnStopRequest(const QuitOnStopRequest&) = delete;
    QuitOnStopRequest& operator=(const QuitOnStopRequest&) = delete;
    // False when the requests could not be caught.
    bool Ready() const { return ready_; }

private:
    struct Watch;
    std::unique_ptr<Watch> watch_;
    bool ready_ = false;
};
