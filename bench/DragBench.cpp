// A fast fader drag against the simulated device at 9600 baud: how many
// frames the drag puts on the line, and how long after the last move the
// device holds the final position, in round trips of one gain command.
//
// The window, its engine, the driver and the simulator are the real ones; the drag is
// hundreds of focused position changes, one per millisecond, with the event
// loop running between them as it does under a user's hand.
#include "BenchSupport.h"
#include "Commands.h"
#include "Connection.h"
#include "DeviceConversation.h"
#include "Fmain.h"
#include "KestraSim.h"
#include "LCommProc.h"
#include "Lcomm.h"
#include "Rhtrack.h"
#include "Settings.h"

#include <QApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRoundTripSamples = 40;
constexpr int kMoves = 600;
constexpr int kTrials = 6;
constexpr int kMoveIntervalUs = 1000;

std::size_t NonPollFrames(const std::vector<ByteVector>& frames)
{
    return static_cast<std::size_t>(std::count_if(
        frames.begin(), frames.end(), [](const ByteVector& f) { return f != LCommProc::PollFrame(); }));
}

}  // namespace

int main(int argc, char** argv)
{
    bench::DefaultToOffscreen();
    QApplication app(argc, argv);
    QTemporaryDir dir;

    sim::SimOptions options;
    options.wireSpeed = true;
    const auto simulator = bench::StartSimulator(options);
    if (!simulator) {
        return 1;
    }
    sim::KestraSim& device = *simulator;

    TfrmMain w;
    w.SetDialogs(std::make_unique<bench::QuietDialogs>());
    w.SetSettingsStore(std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.ini"))));
    w.show();
    w.activateWindow();
    if (!bench::RunUntil([&] { return w.isActiveWindow() && w.Device().Line() != nullptr && device.ReceivedCount() >= 50; }, 20000)) {
        std::fprintf(stderr, "the panel did not connect and read the device\n");
        return 1;
    }
    DeviceConversation* engine = w.Device().Engine();
    engine->SetPolling(false);
    const auto idle = [&] { return engine->Idle(); };
    bench::RunUntil(idle, 5000);

    // One round trip: a gain command on an idle line until its reply is handled.
    std::vector<double> trips;
    QElapsedTimer clock;
    for (int i = 0; i < kRoundTripSamples; ++i) {
        clock.start();
        w.SendCommand(CM_MCS_MIC(static_cast<std::uint8_t>(i % 70), channel::Mic(2)), 0);
        if (!bench::RunUntil(idle, 5000)) {
            std::fprintf(stderr, "no reply\n");
            return 1;
        }
        trips.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    const double tripMs = bench::Median(trips);

    // The drag: sweeps over the whole fader, ending between its ends.
    TrhTrackBar* fader = w.tbMic[1];
    fader->setFocus(Qt::MouseFocusReason);
    if (!bench::RunUntil([&] { return fader->hasFocus(); }, 2000)) {
        std::fprintf(stderr, "the fader did not take the focus\n");
        return 1;
    }
    // Several drags, each ending at another point of the exchange cycle.
    struct Drag {
        int changes;
        std::size_t frames;
        double dragMs;
        double settleMs;
    };
    std::vector<Drag> drags;
    for (int trial = 0; trial < kTrials; ++trial) {
        bench::RunUntil(idle, 5000);
        device.ClearReceived();
        Drag d{0, 0, 0, 0};
        int last = fader->Position();
        QElapsedTimer pace;
        pace.start();
        const int moves = kMoves + trial * 7;
        for (int i = 0; i < moves; ++i) {
            const int phase = i % 158;
            const int position = phase < 79 ? phase + 1 : 157 - phase;
            if (position != last) {
                fader->SetPosition(position);
                last = position;
                ++d.changes;
            }
            const qint64 due = static_cast<qint64>(i + 1) * kMoveIntervalUs * 1000;
            while (pace.nsecsElapsed() < due) {
                QCoreApplication::processEvents(QEventLoop::AllEvents);
            }
        }
        d.dragMs = static_cast<double>(pace.nsecsElapsed()) / 1e6;
        clock.start();
        const int final = fader->Position();
        if (!bench::RunUntil([&] { return device.State().live.micGain[0] == final; }, 5000)) {
            std::fprintf(stderr, "the device never held the final position %d\n", final);
            return 1;
        }
        d.settleMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        bench::RunUntil(idle, 5000);
        d.frames = NonPollFrames(device.Received());
        drags.push_back(d);
    }
    w.Disconnect();

    std::printf("fader drag at 9600 baud: %d drags of about %d position changes, one per %d us\n", kTrials,
                drags[0].changes, kMoveIntervalUs);
    std::printf("  round trip (one gain command, median of %d): %.2f ms\n", kRoundTripSamples, tripMs);
    double worst = 0;
    for (const Drag& d : drags) {
        worst = std::max(worst, d.settleMs / tripMs);
        std::printf("  %d changes in %.0f ms: %zu frames sent (%.1f%%; the line carries at most %.0f in that time);"
                    " final value held %.2f ms = %.2f round trips after the last move\n",
                    d.changes, d.dragMs, d.frames, 100.0 * static_cast<double>(d.frames) / d.changes,
                    d.dragMs / tripMs, d.settleMs, d.settleMs / tripMs);
    }
    std::printf("  worst: %.2f round trips (goal: within 2)\n", worst);
    char measured[64];
    std::snprintf(measured, sizeof measured, "%.2f round trips after the last move", worst);
    bench::Result("fader drag at 9600 baud: final value held", measured, "<= 2 round trips", worst <= 2.0);
    return 0;
}
