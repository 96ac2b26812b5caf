// The panel connected and left alone: it polls the device ten times a
// second. The CPU time the panel's process uses over a minute of that,
// against one core's minute. The simulated KESTRA runs in a process of its
// own so that its work is not counted.
//   idle_cpu_bench [--seconds N]
#include "BenchSupport.h"
#include "Connection.h"
#include "CommEvents.h"
#include "Fmain.h"
#include "Lcomm.h"
#include "Settings.h"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

namespace {

// CPU time of each thread of this process in seconds (the scheduler's
// count), with the thread's name, by thread id.
std::map<std::string, std::pair<std::string, double>> ThreadSeconds()
{
    std::map<std::string, std::pair<std::string, double>> out;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::ifstream schedstat(task.path() / "schedstat");
        std::string name;
        double ns = 0;
        std::getline(comm, name);
        schedstat >> ns;
        out[task.path().filename()] = {name, ns / 1e9};
    }
    return out;
}

// One idle minute: the share of one core the panel used, or a negative
// number when it did not stay connected and polling.
double IdleShare(int seconds, bool byteByByte)
{
    QTemporaryDir dir;
    QStringList simArgs = {QStringLiteral("--random-state"), QStringLiteral("7")};
    if (byteByByte) {
        simArgs << QStringLiteral("--wire-speed");
    }
    bench::SimProcess device(simArgs);
    if (device.Path().isEmpty()) {
        std::fprintf(stderr, "cannot start kestra-sim\n");
        return -1;
    }
    LComm::SetPortOverride(device.Path());
    bench::EventCounter replies(kRecCompleteEvent);

    TfrmMain w;
    // The full-state read and a moment to settle.
    if (!bench::ShowAndRead(w, dir, replies)) {
        return -1;
    }
    bench::RunUntil([] { return false; }, 2000);

    const auto threadsBefore = ThreadSeconds();
    const long repliesBefore = replies.count;
    const double cpuBefore = bench::CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    // A loop of its own: quitting the application would close the window.
    QEventLoop idle;
    QTimer::singleShot(seconds * 1000, &idle, &QEventLoop::quit);
    idle.exec();
    const double cpu = bench::CpuSeconds() - cpuBefore;
    const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const long polls = replies.count - repliesBefore;
    const bool connected = w.Device().Line() != nullptr;
    const double share = 100.0 * cpu / elapsed;
    std::printf("idle connected panel, %s: %.1f s, %ld replies handled (%.1f a second), CPU %.3f s = %.2f%% of one "
                "core\n",
                byteByByte ? "replies arriving byte by byte at 9600 baud" : "replies arriving whole", elapsed, polls,
                static_cast<double>(polls) / elapsed, cpu, share);
    for (const auto& [tid, thread] : ThreadSeconds()) {
        const auto before = threadsBefore.find(tid);
        const double used = thread.second - (before != threadsBefore.end() ? before->second.second : 0);
        if (used >= 0.001) {
            std::printf("  thread %s (%s): %.3f s\n", tid.c_str(), thread.first.c_str(), used);
        }
    }
    w.Disconnect();
    if (!connected || polls < static_cast<long>(elapsed * 8)) {
        std::fprintf(stderr, "the panel did not keep polling\n");
        return -1;
    }
    return share;
}

}  // namespace

int main(int argc, char** argv)
{
    bench::DefaultToOffscreen();
    int seconds = 60;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0) {
            seconds = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    QApplication app(argc, argv);
    // A UART's receive FIFO or a USB adapter hands over a reply in one piece;
    // the simulator's wire emulation writes one byte per byte time, which
    // wakes the reader once per byte: the worst case, reported beside it.
    const double whole = IdleShare(seconds, false);
    const double bytewise = IdleShare(seconds, true);
    if (whole < 0 || bytewise < 0) {
        return 1;
    }
    char measured[64];
    std::snprintf(measured, sizeof measured, "%.2f%% of one core", whole);
    bench::Result("CPU, connected and idle (10 polls/s)", measured, "< 1%", whole < 1.0);
    std::snprintf(measured, sizeof measured, "%.2f%% of one core", bytewise);
    bench::Result("  the same, reply bytes one at a time at 9600 baud", measured, "< 1%", bytewise < 1.0);
    return 0;
}
