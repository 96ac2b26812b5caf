#include "StopSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

void HandleStopSignals(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = handler == SIG_DFL ? 0 : SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM}) {
        ::sigaction(signal, &action, nullptr);
    }
}

namespace {
// A signal handler may only write: the byte wakes the event loop, which quits.
int g_signalPipe[2] = {-1, -1};

extern "C" void OnQuitSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &c, 1);
}
}  // namespace

struct QuitOnStopRequest::Watch {
    QSocketNotifier notifier{g_signalPipe[0], QSocketNotifier::Read};
};

QuitOnStopRequest::QuitOnStopRequest()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        return;
    }
    watch_ = std::make_unique<Watch>();
    QObject::connect(&watch_->notifier, &QSocketNotifier::activated, qApp, [] { QCoreApplication::quit(); });
    std::signal(SIGINT, OnQuitSignal);
    std::signal(SIGTERM, OnQuitSignal);
    ready_ = true;
}

QuitOnStopRequest::~QuitOnStopRequest()
{
    if (!ready_) {
        return;
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    watch_.reset();
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
}
