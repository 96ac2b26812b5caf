// The panel connected and left alone: it polls the device ten times a
// second. The CPU time the panel's process uses over a minute of that,
// against one core's minute. The simulated KESTRA (wire speed emulated) runs
// in a process of its own so that its work is not counted.
//   idle_cpu_bench [--seconds N]
#include "BenchSupport.h"
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
#include <memory>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int seconds = 60;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0) {
            seconds = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    QApplication app(argc, argv);
    QTemporaryDir dir;

    bench::SimProcess device({QStringLiteral("--wire-speed"), QStringLiteral("--random-state"),
                              QStringLiteral("7")});
    if (device.Path().isEmpty()) {
        std::fprintf(stderr, "cannot start kestra-sim\n");
        return 1;
    }
    LComm::SetPortOverride(device.Path());
    bench::EventCounter replies(kRecCompleteEvent);

    TfrmMain w;
    w.SetDialogs(std::make_unique<bench::QuietDialogs>());
    w.SetSettingsStore(std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.ini"))));
    w.show();
    // The full-state read and a moment to settle.
    if (!bench::RunUntil([&] { return w.Comm != nullptr && replies.count >= 49; }, 20000)) {
        std::fprintf(stderr, "the panel did not connect and read the device\n");
        return 1;
    }
    bench::RunUntil([] { return false; }, 2000);

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
    const bool connected = w.Comm != nullptr;
    w.Disconnect();

    const double share = 100.0 * cpu / elapsed;
    std::printf("idle connected panel: %.1f s, %ld replies handled (%.1f a second), CPU %.3f s = %.2f%% of one core\n",
                elapsed, polls, static_cast<double>(polls) / elapsed, cpu, share);
    if (!connected || polls < static_cast<long>(elapsed * 8)) {
        std::fprintf(stderr, "the panel did not keep polling\n");
        return 1;
    }
    char measured[64];
    std::snprintf(measured, sizeof measured, "%.2f%% of one core", share);
    bench::Result("CPU, connected and idle (10 polls/s)", measured, "< 1%", share < 1.0);
    return 0;
}
