// An hour of use compressed into seconds, as the demo runs it (the panel and
// the simulated KESTRA in one process): microphones 1 and 3 keep starting and
// stopping speech, so the polls draw ducking state and ducked-level reports
// that move faders, bars, texts and lamps and fill the traffic log. An hour
// is 36,000 polls at ten a second; here the next poll goes out as soon as the
// line is idle, and the device's ducking runs a hundred times faster than
// usual to keep pace.
//
// Every six simulated minutes the traffic log is emptied and the heap in use
// and the resident size are taken. What the log's lines cost is measured at
// the last checkpoint; whatever else grows between the first checkpoint and
// the last is memory the panel keeps for nothing.
//   memory_bench [--hours N]
#include "BenchSupport.h"
#include "Connection.h"
#include "CommEvents.h"
#include "Commands.h"
#include "Fmain.h"
#include "Fmsg.h"
#include "KestraSim.h"
#include "LCommProc.h"
#include "Lcomm.h"
#include "Settings.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr long kPollsPerHour = 36000;
constexpr long kCheckpointPolls = 3600;
// Heap growth the allocator's own bookkeeping and Qt's caches may account
// for; a leak of one small object per poll would exceed it many times over.
constexpr double kAllowedGrowthKiB = 64;
constexpr int kSpeechToggleMs = 30;

double HeapInUseKiB()
{
    malloc_trim(0);
    return static_cast<double>(mallinfo2().uordblks) / 1024.0;
}

}  // namespace

int main(int argc, char** argv)
{
    bench::DefaultToOffscreen();
    // glibc's per-thread caches keep freed chunks that mallinfo counts as in
    // use, and their share drifts with the traffic between threads; without
    // them the heap in use is what the program holds.
    if (std::getenv("GLIBC_TUNABLES") == nullptr) {
        setenv("GLIBC_TUNABLES", "glibc.malloc.tcache_count=0", 1);
        execv("/proc/self/exe", argv);
    }
    long hours = 1;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--hours") == 0) {
            hours = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    QApplication app(argc, argv);
    QTemporaryDir dir;

    sim::SimOptions options;
    options.keepReceived = false;
    const auto simulator = bench::StartSimulator(options);
    if (!simulator) {
        return 1;
    }
    sim::KestraSim& device = *simulator;
    sim::DeviceState state = sim::DeviceState::Random(11);
    // Microphones 1 and 3 speak with priority; the line and the others are ducked.
    for (int m = 0; m < sim::kMics; ++m) {
        state.live.micMute[m] = false;
        state.live.priority[m] = m == 0 || m == 2;
    }
    state.live.stereoMute[channel::kLine] = false;
    state.live.manualDucking = false;
    state.live.attenuation = 20;
    state.live.holdTime = sim::kMinHold;
    state.live.fadeOut = 1;
    state.live.fadeIn = 1;
    device.SetState(state);
    // Speech on and off, three seconds each way at the hundredfold pace;
    // ducking ends after each (10 ms hold, 1 ms a step).
    QTimer speech;
    bool speaking = false;
    QObject::connect(&speech, &QTimer::timeout, [&] {
        speaking = !speaking;
        device.SetSpeech(speaking ? 0b101u : 0u);
    });
    speech.start(kSpeechToggleMs);
    bench::EventCounter replies(kRecCompleteEvent);

    TfrmMain w;
    if (!bench::ShowAndRead(w, dir, replies)) {
        return 1;
    }

    long polls = 0;
    long logLines = 0;
    long linesAtLast = 0;
    double logKiBAtLast = 0;
    std::vector<double> heap;
    std::vector<long> resident;
    while (polls < hours * kPollsPerHour) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        LCommProc* comm = w.Device().Line();
        if (comm == nullptr) {
            std::fprintf(stderr, "the connection was lost after %ld polls\n", polls);
            return 1;
        }
        if (comm->IsBusy() || comm->QueueLength() != 0) {
            continue;
        }
        comm->Send(LCommProc::PollFrame());
        if (++polls % kCheckpointPolls == 0) {
            bench::RunUntil([&] { return !comm->IsBusy() && comm->QueueLength() == 0; }, 5000);
            const long lines = w.frmMsg->mmMsg->document()->blockCount();
            logLines += lines;
            if (polls == hours * kPollsPerHour) {
                // What the log's lines take: the heap with them and without.
                const double withLog = HeapInUseKiB();
                w.frmMsg->Clear();
                logKiBAtLast = withLog - HeapInUseKiB();
                linesAtLast = lines;
            }
            w.frmMsg->Clear();
            heap.push_back(HeapInUseKiB());
            resident.push_back(bench::ResidentKiB());
            std::printf("  %2ld min: %5ld log lines, heap in use %.0f KiB, resident %ld KiB\n",
                        polls / (kPollsPerHour / 60), lines, heap.back(), resident.back());
        }
    }
    w.Disconnect();

    const double growth = heap.back() - heap.front();
    std::printf("an hour compressed: %ld polls sent, %ld replies handled, %ld log lines (the reports)\n", polls,
                replies.count, logLines);
    std::printf("  heap in use from minute 6 to minute 60: %+.1f KiB; resident %+ld KiB\n", growth,
                resident.back() - resident.front());
    if (linesAtLast > 0) {
        std::printf("  the log's own lines: %.0f KiB for %ld lines (%.0f bytes a line)\n", logKiBAtLast, linesAtLast,
                    logKiBAtLast * 1024.0 / static_cast<double>(linesAtLast));
    }
    char measured[96];
    std::snprintf(measured, sizeof measured, "%+.1f KiB heap besides the log (%ld log lines)", growth, logLines);
    bench::Result("memory over 1 h of polls with ducking", measured, "no growth (< 64 KiB)",
                  growth < kAllowedGrowthKiB);
    return 0;
}
