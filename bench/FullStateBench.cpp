// Connecting at 9600 baud reads the whole device: 49 inquiries, one at a
// time, each answered by a report the window shows. Measured from Connect
// until the last report has been handled, against the time the inquiries and
// reports need on the wire (10 bits per byte), with the simulated KESTRA
// emulating the wire and the real window, driver and pseudo-terminal.
#include "BenchSupport.h"
#include "CommEvents.h"
#include "Fmain.h"
#include "Firmware.h"
#include "KestraSim.h"
#include "LCommProc.h"
#include "Lcomm.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <memory>

namespace {


constexpr int kRuns = 7;
constexpr std::size_t kInquiries = 49;
constexpr double kSecondsPerByte = 10.0 / 9600.0;

}  // namespace

int main(int argc, char** argv)
{
    bench::DefaultToOffscreen();
    QApplication app(argc, argv);

    sim::SimOptions options;
    options.wireSpeed = true;
    const auto simulator = bench::StartSimulator(options);
    if (!simulator) {
        return 1;
    }
    sim::KestraSim& device = *simulator;
    device.RandomiseState(2026);

    bench::EventCounter replies(kRecCompleteEvent);
    TfrmMain w;
    w.SetDialogs(std::make_unique<bench::QuietDialogs>());

    std::vector<double> ratios;
    double seconds = 0;
    double wire = 0;
    for (int run = 0; run < kRuns; ++run) {
        std::vector<ByteVector> received;
        const double took = bench::TimedFullStateRead(w, device, replies, kInquiries, received);
        if (took < 0) {
            std::fprintf(stderr, "run %d: the full-state read did not complete (%zu inquiries)\n", run + 1,
                         received.size());
            return 1;
        }
        const double wireSeconds =
            static_cast<double>(bench::ExchangeBytes(received, device.State())) * kSecondsPerByte;
        ratios.push_back(took / wireSeconds);
        seconds = took;
        wire = wireSeconds;
        std::printf("  run %d: %.1f ms, on the wire %.1f ms, ratio %.3f\n", run + 1, took * 1e3, wireSeconds * 1e3,
                    ratios.back());
    }
    const double median = bench::Median(ratios);
    std::printf("full-state read at 9600 baud (%zu inquiries and reports): median ratio %.3f of wire time "
                "(last run %.1f ms vs %.1f ms)\n",
                kInquiries, median, seconds * 1e3, wire * 1e3);
    char measured[64];
    std::snprintf(measured, sizeof measured, "%.3fx wire time", median);
    bench::Result("full-state read at 9600 baud", measured, "<= 1.03x", median <= 1.03);
    return 0;
}
