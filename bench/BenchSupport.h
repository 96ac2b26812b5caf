// What the panel benchmarks share: dialogs nobody answers, running the event
// loop until something holds, and a simulated device in a process of its own
// (so that the panel's CPU time and memory are the panel's alone).
#pragma once

#include "BenchResult.h"
#include "Connection.h"
#include "Dialogs.h"
#include "Firmware.h"
#include "Fmain.h"
#include "KestraSim.h"
#include "Lcomm.h"
#include "RunUntil.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTimer>
#include <QTemporaryDir>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

namespace bench {

// No human answers here: every question gives up, and what was said is kept.
class QuietDialogs : public TDialogs {
public:
    QStringList told;
    Answer AbortRetryIgnore(QWidget*, const QString&, const QString& text) override
    {
        std::fprintf(stderr, "unexpected: %s\n", qPrintable(text));
        return Answer::Abort;
    }
    Answer WarningOkCancel(QWidget*, const QString&, const QString&, const QString&) override
    {
        return Answer::Cancel;
    }
    void Information(QWidget*, const QString& text) override { told << text; }
    void Error(QWidget*, const QString& text) override { std::fprintf(stderr, "error: %s\n", qPrintable(text)); }
    void Plain(QWidget*, const QString& text) override { std::fprintf(stderr, "plain: %s\n", qPrintable(text)); }
};

// Benchmarks run offscreen unless a platform is asked for.
inline void DefaultToOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

// The simulated KESTRA in this process, with the panel's port pointed at
// it; null when it cannot start.
inline std::unique_ptr<sim::KestraSim> StartSimulator(const sim::SimOptions& options)
{
    auto device = std::make_unique<sim::KestraSim>(options);
    const std::string path = device->Start();
    if (path.empty()) {
        std::fprintf(stderr, "cannot start the simulated device\n");
        return nullptr;
    }
    LComm::SetPortOverride(QString::fromStdString(path));
    return device;
}

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// CPU time (user + system) this process has used, in seconds: the
// scheduler's own count, not sampled at clock ticks.
inline double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Resident memory of this process in KiB.
inline long ResidentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// kestra-sim in a process of its own; stopped when this goes.
class SimProcess {
public:
    // Starts the simulator with `args`; Path() is empty when it did not come up.
    explicit SimProcess(const QStringList& args)
    {
        process_.setProgram(QStringLiteral(KESTRA_SIM_PROGRAM));
        process_.setArguments(args);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        QElapsedTimer t;
        t.start();
        static const QRegularExpression banner(QStringLiteral("KESTRA simulator on (\\S+)"));
        while (path_.isEmpty() && t.elapsed() < 5000 && process_.state() != QProcess::NotRunning) {
            process_.waitForReadyRead(100);
            while (process_.canReadLine()) {
                const auto m = banner.match(QString::fromLocal8Bit(process_.readLine()));
                if (m.hasMatch()) {
                    path_ = m.captured(1);
                }
            }
        }
    }
    ~SimProcess()
    {
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    const QString& Path() const { return path_; }

private:
    QProcess process_;
    QString path_;
};

// Counts events of one type delivered anywhere in the application, e.g. the
// replies the panel handled.
class EventCounter : public QObject {
public:
    explicit EventCounter(QEvent::Type type) : type_(type) { QCoreApplication::instance()->installEventFilter(this); }
    long count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == type_) {
            ++count;
        }
        return QObject::eventFilter(watched, e);
    }

private:
    QEvent::Type type_;
};

// Gives the window quiet dialogs and a settings file of its own in `dir`,
// shows it (which connects) and waits until the full state has been read.
inline bool ShowAndRead(TfrmMain& w, const QTemporaryDir& dir, const EventCounter& replies)
{
    w.SetDialogs(std::make_unique<QuietDialogs>());
    w.SetSettingsStore(std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.ini"))));
    w.show();
    if (!RunUntil([&] { return w.Device().Line() != nullptr && replies.count >= 49; }, 20000)) {
        std::fprintf(stderr, "the panel did not connect and read the device\n");
        return false;
    }
    return true;
}

// A firmware image of pseudo-random bytes: the update's speed does not depend
// on what it carries, and no real image is part of the repository.
inline ByteVector PseudoRandomImage(std::uint32_t seed, std::size_t size)
{
    ByteVector image(size);
    for (auto& b : image) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(seed >> 24);
    }
    return image;
}

// Bytes of every inquiry the device received and of the report it answered.
inline std::size_t ExchangeBytes(const std::vector<ByteVector>& received, const sim::DeviceState& state)
{
    sim::Firmware firmware(state);
    std::size_t bytes = 0;
    for (const ByteVector& frame : received) {
        bytes += frame.size() + firmware.HandleFrame(LCmd(frame), 0).size();
    }
    return bytes;
}

// One full-state read by the window: connect, wait until `inquiries` replies
// were handled, disconnect. The seconds it took, or -1; `received` holds the
// inquiries the device got (a poll that a report drew afterwards cut off).
inline double TimedFullStateRead(TfrmMain& w, sim::KestraSim& device, const EventCounter& replies,
                                 std::size_t inquiries, std::vector<ByteVector>& received)
{
    // A reply still on its way from the last run would be taken for the
    // first inquiry's: let the line fall quiet, as between a user's clicks,
    // and drop what a real port, closed meanwhile, would have lost (a device
    // server reopening the pseudo-terminal would hand it on).
    RunUntil([] { return false; }, 200);
    device.DiscardUnread();
    device.ClearReceived();
    const auto start = std::chrono::steady_clock::now();
    w.Connect();
    // Counted as they arrive, so the last has been handled once the event
    // loop returns after it.
    const long before = replies.count;
    const bool read = w.Device().Line() != nullptr &&
                      RunUntil([&] { return replies.count - before >= static_cast<long>(inquiries); }, 20000);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    w.Disconnect();
    received = device.Received();
    if (received.size() > inquiries) {
        received.resize(inquiries);
    }
    return read && received.size() == inquiries ? took : -1;
}

}  // namespace bench
