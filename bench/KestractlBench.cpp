// kestractl against simulated KESTRAs emulating the wire at 9600 baud:
//  1. `kestractl get` as a process, from start to exit, against the time its
//     49 inquiries and reports need on the wire plus 150 ms of process start;
//  2. `get` on eight devices at once against one device (in this process,
//     one session thread per port).
#include "BenchResult.h"
#include "Firmware.h"
#include "KestraSim.h"
#include "Kestractl.h"

#include <QCoreApplication>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <sstream>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kRuns = 5;
constexpr double kSecondsPerByte = 10.0 / 9600.0;
constexpr double kProcessStartSeconds = 0.150;
constexpr int kDevices = 8;

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double WireSeconds(const sim::KestraSim& device)
{
    sim::Firmware firmware(device.State());
    std::size_t bytes = 0;
    for (const ByteVector& frame : device.Received()) {
        bytes += frame.size() + firmware.HandleFrame(LCmd(frame), 0).size();
    }
    return static_cast<double>(bytes) * kSecondsPerByte;
}

std::unique_ptr<sim::KestraSim> Device(std::uint32_t seed)
{
    sim::SimOptions options;
    options.wireSpeed = true;
    auto device = std::make_unique<sim::KestraSim>(options);
    if (device->Start().empty()) {
        return nullptr;
    }
    device->RandomiseState(seed);
    return device;
}

double InProcessGet(const std::vector<std::unique_ptr<sim::KestraSim>>& devices, std::size_t count)
{
    std::vector<std::string> args;
    for (std::size_t i = 0; i < count; ++i) {
        args.insert(args.end(), {"--port", devices[i]->Path()});
    }
    args.emplace_back("get");
    std::ostringstream out, err;
    const Clock::time_point start = Clock::now();
    const int code = RunKestractl(args, out, err);
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    return code == kExitOk ? took : -1.0;
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::unique_ptr<sim::KestraSim>> devices;
    for (int i = 0; i < kDevices; ++i) {
        devices.push_back(Device(2026u + static_cast<std::uint32_t>(i)));
        if (!devices.back()) {
            std::fprintf(stderr, "cannot start the simulated devices\n");
            return 1;
        }
    }

    std::vector<double> ratios;
    for (int run = 0; run < kRuns; ++run) {
        devices[0]->ClearReceived();
        const Clock::time_point start = Clock::now();
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(QStringLiteral(KESTRACTL_PROGRAM),
                      {QStringLiteral("--port"), QString::fromStdString(devices[0]->Path()), QStringLiteral("get")});
        const int code = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
                             ? process.exitCode()
                             : -1;
        const double took = std::chrono::duration<double>(Clock::now() - start).count();
        const double wire = WireSeconds(*devices[0]);
        // The 49 inquiries, and the poll that answers the ducking-state report
        // (its wire time counts too).
        const auto received = devices[0]->Received();
        const auto inquiries = std::count_if(received.begin(), received.end(),
                                             [](const ByteVector& f) { return LCmd(f).Sub() != 0x05; });
        if (code != 0 || inquiries != 49) {
            std::fprintf(stderr, "run %d: kestractl get failed (%d, %zu frames)\n", run + 1, code,
                         devices[0]->ReceivedCount());
            return 1;
        }
        ratios.push_back(took / (wire + kProcessStartSeconds));
        std::printf("  run %d: %.1f ms, wire %.1f ms + 150 ms, ratio %.3f\n", run + 1, took * 1e3, wire * 1e3,
                    ratios.back());
    }
    const double getRatio = Median(ratios);
    char measured[64];
    std::snprintf(measured, sizeof measured, "%.3fx (wire + 150 ms)", getRatio);
    bench::Result("kestractl get at 9600 baud", measured, "<= 1.05x", getRatio <= 1.05);

    std::vector<double> fleet;
    for (int run = 0; run < kRuns; ++run) {
        const double one = InProcessGet(devices, 1);
        const double eight = InProcessGet(devices, kDevices);
        if (one <= 0 || eight <= 0) {
            std::fprintf(stderr, "run %d: get failed\n", run + 1);
            return 1;
        }
        fleet.push_back(eight / one);
        std::printf("  run %d: one device %.1f ms, eight at once %.1f ms, ratio %.3f\n", run + 1, one * 1e3,
                    eight * 1e3, fleet.back());
    }
    const double fleetRatio = Median(fleet);
    std::snprintf(measured, sizeof measured, "%.3fx one device", fleetRatio);
    bench::Result("kestractl get, eight devices at once", measured, "<= 1.2x", fleetRatio <= 1.2);
    return 0;
}
