// What the benchmarks share without a window: running the event loop until
// something holds, and another process's CPU time and memory from /proc.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>

namespace bench {

// Runs the event loop until `done` or the deadline; false on the deadline.
// It sleeps between events as the panel's own loop does: a loop that spins
// would take a core from the threads being measured (on a 2-core machine,
// half of it). A coarse tick looks again at conditions other threads change.
inline bool RunUntil(const std::function<bool()>& done, qint64 timeoutMs)
{
    QElapsedTimer t;
    t.start();
    QTimer tick;
    tick.start(10);
    while (!done()) {
        if (t.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// CPU seconds (user + system) of another process.
inline double CpuSecondsOf(qint64 pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i) {
        if (i == 14 || i == 15) {
            ticks += std::stod(field);
        }
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Resident memory of another process in KiB.
inline long ResidentKiBOf(qint64 pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
    }
    return 0;
}

}  // namespace bench
