#include "StopSignals.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <atomic>
#include <csignal>

#include <windows.h>

void HandleStopSignals(void (*handler)(int))
{
    // The C runtime puts the default back before it calls a handler: once.
    // Ctrl+Break is Windows' other console stop.
    for (const int signal : {SIGINT, SIGTERM, SIGBREAK}) {
        std::signal(signal, handler);
    }
}

namespace {
std::atomic<bool> g_watching{false};
std::atomic<bool> g_loopEnded{false};

// Windows calls this on a thread of its own, so the quit goes to the event
// loop's thread as an event. When the console is closing, the process ends
// as this returns: it waits (Windows allows some seconds) for the loop.
BOOL WINAPI OnConsoleStop(DWORD type)
{
    if (!g_watching) {
        return FALSE;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        for (int i = 0; i < 40 && !g_loopEnded; ++i) {
            ::Sleep(100);
        }
    }
    return TRUE;
}
}  // namespace

struct QuitOnStopRequest::Watch {};

QuitOnStopRequest::QuitOnStopRequest()
{
    g_loopEnded = false;
    g_watching = true;
    ready_ = ::SetConsoleCtrlHandler(OnConsoleStop, TRUE) != 0;
}

QuitOnStopRequest::~QuitOnStopRequest()
{
    g_watching = false;
    g_loopEnded = true;
    if (ready_) {
        ::SetConsoleCtrlHandler(OnConsoleStop, FALSE);
    }
}
