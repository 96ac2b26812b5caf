// The panel over the network, through Debian's ser2net serving the simulated
// KESTRA (emulating the wire) on 127.0.0.1: the full-state read over raw TCP
// at 9600 baud against its wire time, and the whole firmware update over
// RFC 2217 (the switch to 115200 made at the server) against its wire time
// plus the 300 ms restart. The same window, driver and limits as the
// serial benchmarks; ser2net runs with chardelay off, as a device server for
// request and reply is set up.
#include "BenchSupport.h"
#include "Connection.h"
#include "CommEvents.h"
#include "Firmware.h"
#include "FirmwareImage.h"
#include "Fmain.h"
#include "KestraSim.h"
#include "LUpdate.h"
#include "Lcomm.h"
#include "Ser2net.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QPushButton>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 5;
constexpr std::size_t kInquiries = 49;
constexpr double kBitsPerByte = 10.0;

// One full-state read over tcp://; the ratio of its time to the wire time, or -1.
double FullStateRatio(TfrmMain& w, sim::KestraSim& device, bench::EventCounter& replies)
{
    std::vector<ByteVector> received;
    const double took = bench::TimedFullStateRead(w, device, replies, kInquiries, received);
    if (took < 0) {
        return -1;
    }
    const double wire = static_cast<double>(bench::ExchangeBytes(received, device.State())) * kBitsPerByte / 9600.0;
    std::printf("  full-state read over ser2net: %.1f ms, on the wire %.1f ms\n", took * 1e3, wire * 1e3);
    return took / wire;
}

// One whole update over rfc2217://; the ratio to wire time + 300 ms, or -1.
double UpdateRatio()
{
    sim::SimOptions options;
    options.wireSpeed = true;
    options.idleMs = 500;
    sim::KestraSim device(options);
    if (device.Start().empty()) {
        return -1;
    }
    Ser2net server(QString::fromStdString(device.Path()), Ser2net::Mode::Rfc2217);
    if (!server.Start()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.Why()));
        return -1;
    }
    TfrmMain window;
    auto owned = std::make_unique<bench::QuietDialogs>();
    bench::QuietDialogs* dialogs = owned.get();
    window.SetDialogs(std::move(owned));
    window.SetServiceMode(true);
    window.Device().Port().name = server.Url();
    const auto finished = [&] {
        return dialogs->told.contains(QStringLiteral("Update OK , Please ReConnect!!")) && !window.Connected();
    };
    const Clock::time_point start = Clock::now();
    window.btnUpdate->click();
    QDeadlineTimer deadline(30000);
    while (!finished() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const auto received = device.Received();
    if (!finished() || received.empty()) {
        return -1;
    }
    // The reset frame and its 8-byte acknowledgement at 9600, then each
    // boot-loader command and its reply byte at 115200.
    const double slow = static_cast<double>(received.front().size() + 8) * kBitsPerByte / 9600.0;
    std::size_t fastBytes = 0;
    for (std::size_t i = 1; i < received.size(); ++i) {
        fastBytes += received[i].size() + 1;
    }
    const double wire = slow + static_cast<double>(fastBytes) * kBitsPerByte / LUpdate::kBootLoaderBaud +
                        LUpdate::kSpeedChangeDelayMs / 1000.0;
    std::printf("  update: %.3f s, wire time + 300 ms = %.3f s, ratio %.3f\n", seconds, wire, seconds / wire);
    return seconds / wire;
}

}  // namespace

int main(int argc, char** argv)
{
    bench::DefaultToOffscreen();
    QApplication app(argc, argv);
    LComm::SetPortOverride({});

    sim::SimOptions options;
    options.wireSpeed = true;
    sim::KestraSim device(options);
    if (device.Start().empty()) {
        return 1;
    }
    device.RandomiseState(2026);
    Ser2net server(QString::fromStdString(device.Path()), Ser2net::Mode::Raw);
    if (!server.Start()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.Why()));
        return 1;
    }
    bench::EventCounter replies(kRecCompleteEvent);
    TfrmMain w;
    w.SetDialogs(std::make_unique<bench::QuietDialogs>());
    w.Device().Port().name = server.Url();
    std::vector<double> reads;
    for (int run = 0; run < kRuns; ++run) {
        reads.push_back(FullStateRatio(w, device, replies));
        std::printf("  full-state read over ser2net: ratio %.3f\n", reads.back());
        if (reads.back() < 0) {
            return 1;
        }
    }
    const double read = bench::Median(reads);
    char measured[64];
    std::snprintf(measured, sizeof measured, "%.3fx wire time", read);
    bench::Result("full-state read at 9600 baud over ser2net (tcp://)", measured, "<= 1.05x", read <= 1.05);

    firmware::SetForRun(bench::PseudoRandomImage(0x2217u, firmware::kImageSize));
    std::vector<double> updates;
    for (int run = 0; run < 3; ++run) {
        updates.push_back(UpdateRatio());
        if (updates.back() < 0) {
            return 1;
        }
    }
    const double update = bench::Median(updates);
    std::snprintf(measured, sizeof measured, "%.3fx (wire time + 300 ms)", update);
    bench::Result("firmware update over ser2net (rfc2217://)", measured, "<= 1.15x", update <= 1.15);
    return 0;
}
