// One full exchange through the whole serial link: the owner submits a frame,
// the peer on the other end of a pseudo-terminal answers at once, the reply
// is collected on the reader thread, handled by the owner, and the next frame
// goes out. Compared with the same exchange done by a minimal poll() loop on
// the same pseudo-terminal, in the same run. Two figures: the whole exchange
// as the owner sees it, and the turnaround as the device sees it (from its
// reply written to the next frame's last byte read).
// A third loop shows the floor of any design in which one thread reads and
// another handles the reply and sends: the same minimal loop split in two,
// the reader waking the sender through an eventfd.
#include "BenchResult.h"
#include "DeliverReply.h"
#include "LCommProc.h"
#include "PtyPeer.h"

#include <QCoreApplication>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The two loops take turns, so that a shared machine's changing load
// weighs on both alike.
constexpr int kRounds = 10;
constexpr int kWarmUp = 50;       // per round, not counted
constexpr int kPerRound = 500;
constexpr int kExchanges = kRounds * kPerRound;

struct Figures {
    double medianUs;
    double p99Us;
};

Figures Summarise(std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)]};
}

// The owner: every handled reply submits the next frame, which the driver
// sends when Advance runs after the handler.
class BenchOwner : public QObject {
public:
    LCommProc* link = nullptr;
    std::vector<double> samples;
    int handled = 0;
    Clock::time_point last{};

    bool event(QEvent* e) override
    {
        if (e->type() == kCommErrEvent) {
            std::fprintf(stderr, "serial error %d\n", static_cast<CommErrEvent*>(e)->Code());
            QCoreApplication::exit(1);
            return true;
        }
        if (DeliverReply(e, [this] { return link; }, [this](const RecCompleteEvent&) { OnReply(); })) {
            return true;
        }
        return QObject::event(e);
    }

private:
    void OnReply()
    {
        const Clock::time_point now = Clock::now();
        if (handled > kWarmUp) {
            samples.push_back(std::chrono::duration<double, std::micro>(now - last).count());
        }
        last = now;
        if (++handled == kWarmUp + kPerRound + 1) {
            QCoreApplication::exit(0);
            return;
        }
        link->Send(LCommProc::PollFrame());
    }
};

// The device: answers every poll frame at once with an ACK, and times from
// each reply written to the next frame complete.
class TimingPeer {
public:
    explicit TimingPeer(int fd) : fd_(fd), thread_([this] { Run(); }) {}
    ~TimingPeer()
    {
        stop_.store(true);
        thread_.join();
    }
    // The turnarounds so far, and forgets them.
    std::vector<double> Take()
    {
        while (busy_.exchange(true)) {
        }
        std::vector<double> out;
        out.swap(samples_);
        busy_.store(false);
        return out;
    }

private:
    void Run()
    {
        static const std::uint8_t kAck[] = {0x10, 0x02, 0x01, 0x01, 0x01, 0x10, 0x03, 0x00};
        std::size_t got = 0;
        bool answered = false;
        Clock::time_point written{};
        std::uint8_t buf[64];
        while (!stop_.load()) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) {
                continue;
            }
            const ssize_t n = read(fd_, buf, sizeof buf);
            if (n <= 0) {
                continue;
            }
            got += static_cast<std::size_t>(n);
            if (got < 8) {
                continue;
            }
            got = 0;
            const Clock::time_point arrived = Clock::now();
            if (answered) {
                while (busy_.exchange(true)) {
                }
                samples_.push_back(std::chrono::duration<double, std::micro>(arrived - written).count());
                busy_.store(false);
            }
            answered = write(fd_, kAck, sizeof kAck) == static_cast<ssize_t>(sizeof kAck);
            written = Clock::now();
        }
    }

    int fd_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> busy_{false};
    std::vector<double> samples_;
    std::thread thread_;
};

bool RunDriver(const std::string& path, std::vector<double>& out)
{
    LComm::SetPortOverride(QString::fromStdString(path));
    BenchOwner owner;
    LCommProc link(&owner);
    owner.link = &link;
    if (!link.Open(1, 9600, 8, 0, 0)) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return false;
    }
    QTimer::singleShot(0, [&] { link.Send(LCommProc::PollFrame()); });
    const int rc = QCoreApplication::exec();
    link.Close();
    if (rc != 0 || owner.samples.size() != static_cast<std::size_t>(kPerRound)) {
        return false;
    }
    out.insert(out.end(), owner.samples.begin(), owner.samples.end());
    return true;
}

// The port as the bare loops use it: non-blocking, raw; -1 when it cannot open.
int OpenRaw(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        termios raw{};
        tcgetattr(fd, &raw);
        cfmakeraw(&raw);
        tcsetattr(fd, TCSANOW, &raw);
    }
    return fd;
}

// The least any program can do: write the frame, poll() until the whole
// reply has been read, write the next one.
bool RunMinimalLoop(const std::string& path, std::vector<double>& out)
{
    const int fd = OpenRaw(path);
    if (fd < 0) {
        return false;
    }
    const ByteVector& frame = LCommProc::PollFrame();
    std::vector<double> samples;
    Clock::time_point last = Clock::now();
    bool ok = true;
    for (int i = 0; i < kWarmUp + kPerRound + 1 && ok; ++i) {
        ok = write(fd, frame.data(), frame.size()) == static_cast<ssize_t>(frame.size());
        std::size_t got = 0;
        std::uint8_t buf[64];
        while (ok && got < 8) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0) {
                ok = false;
                break;
            }
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
            }
        }
        const Clock::time_point now = Clock::now();
        if (i > kWarmUp) {
            samples.push_back(std::chrono::duration<double, std::micro>(now - last).count());
        }
        last = now;
    }
    close(fd);
    if (!ok) {
        return false;
    }
    out.insert(out.end(), samples.begin(), samples.end());
    return true;
}

// The minimal loop with the reply handed from a reading thread to the thread
// that sends, through an eventfd: what one wake-up of another thread adds.
bool RunTwoThreadLoop(const std::string& path, std::vector<double>& out)
{
    const int fd = OpenRaw(path);
    const int wake = eventfd(0, EFD_CLOEXEC);
    if (fd < 0 || wake < 0) {
        for (const int open : {fd, wake}) {
            if (open >= 0) {
                close(open);
            }
        }
        return false;
    }
    constexpr int kCount = kWarmUp + kPerRound + 1;
    std::atomic<bool> failed{false};
    std::thread reader([&] {
        std::size_t got = 0;
        std::uint8_t buf[64];
        for (int replies = 0; replies < kCount && !failed.load();) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0) {
                failed.store(true);
            } else if (const ssize_t n = read(fd, buf, sizeof buf); n > 0 && (got += static_cast<std::size_t>(n)) >= 8) {
                got = 0;
                ++replies;
                const std::uint64_t one = 1;
                failed.store(write(wake, &one, sizeof one) != sizeof one);
            }
        }
        const std::uint64_t one = 1;
        (void)!write(wake, &one, sizeof one);  // never leaves the sender waiting
    });
    const ByteVector& frame = LCommProc::PollFrame();
    std::vector<double> samples;
    Clock::time_point last = Clock::now();
    for (int i = 0; i < kCount && !failed.load(); ++i) {
        failed.store(write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size()));
        std::uint64_t count = 0;
        pollfd p{wake, POLLIN, 0};
        if (failed.load() || poll(&p, 1, 2000) <= 0 || read(wake, &count, sizeof count) != sizeof count) {
            failed.store(true);
            break;
        }
        const Clock::time_point now = Clock::now();
        if (i > kWarmUp) {
            samples.push_back(std::chrono::duration<double, std::micro>(now - last).count());
        }
        last = now;
    }
    reader.join();
    close(wake);
    close(fd);
    if (failed.load()) {
        return false;
    }
    out.insert(out.end(), samples.begin(), samples.end());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    PtyPeer peer;
    if (!peer.Ok()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    TimingPeer device(peer.MasterFd());

    std::vector<double> minimalAll, driverAll, twoThreadAll, minimalTurn, driverTurn, twoThreadTurn;
    // Each round's turnarounds as the device saw them, without the warm-up.
    auto takeTurns = [&device](std::vector<double>& into) {
        const std::vector<double> got = device.Take();
        if (got.size() > std::size_t{kWarmUp}) {
            into.insert(into.end(), got.begin() + kWarmUp, got.end());
        }
    };
    bool ok = true;
    for (int round = 0; round < kRounds && ok; ++round) {
        ok = RunMinimalLoop(peer.Path(), minimalAll);
        takeTurns(minimalTurn);
        ok = ok && RunDriver(peer.Path(), driverAll);
        takeTurns(driverTurn);
        ok = ok && RunTwoThreadLoop(peer.Path(), twoThreadAll);
        takeTurns(twoThreadTurn);
    }
    const auto tooFew = [](const std::vector<double>& turns) { return turns.size() < std::size_t{kExchanges} * 9 / 10; };
    if (!ok || tooFew(minimalTurn) || tooFew(driverTurn) || tooFew(twoThreadTurn)) {
        std::fprintf(stderr, "exchange failed\n");
        return 1;
    }
    const Figures minimal = Summarise(minimalAll);
    const Figures driver = Summarise(driverAll);
    const Figures minimalT = Summarise(minimalTurn);
    const Figures driverT = Summarise(driverTurn);
    const Figures twoThreadT = Summarise(twoThreadTurn);
    std::printf("comm exchange over a pseudo-terminal, %d exchanges each in %d alternating rounds, peer answers at "
                "once\n",
                kExchanges, kRounds);
    std::printf("  minimal poll() loop : median %8.1f us   p99 %8.1f us\n", minimal.medianUs, minimal.p99Us);
    std::printf("  LCommProc + owner   : median %8.1f us   p99 %8.1f us\n", driver.medianUs, driver.p99Us);
    std::printf("  ratio driver/minimal: median %8.2f      p99 %8.2f   (goal: median within 2x)\n",
                driver.medianUs / minimal.medianUs, driver.p99Us / minimal.p99Us);
    const double ratio = driver.medianUs / minimal.medianUs;
    char measured[64];
    std::snprintf(measured, sizeof measured, "%.2fx (%.1f us vs %.1f us)", ratio, driver.medianUs, minimal.medianUs);
    bench::Result("per-exchange overhead vs a minimal poll() loop", measured, "<= 2x", ratio <= 2.0);
    std::printf("turnaround at the device, reply written -> next frame read:\n");
    std::printf("  minimal poll() loop : median %8.1f us   p99 %8.1f us\n", minimalT.medianUs, minimalT.p99Us);
    std::printf("  LCommProc + owner   : median %8.1f us   p99 %8.1f us\n", driverT.medianUs, driverT.p99Us);
    std::printf("  two-thread loop     : median %8.1f us   p99 %8.1f us   (reader thread wakes the sender)\n",
                twoThreadT.medianUs, twoThreadT.p99Us);
    const double turn = driverT.medianUs / minimalT.medianUs;
    std::snprintf(measured, sizeof measured, "%.2fx (%.1f us vs %.1f us)", turn, driverT.medianUs, minimalT.medianUs);
    bench::Result("reply-to-next-frame turnaround median vs a minimal poll() loop", measured, "<= 1.5x", turn <= 1.5);
    // No goal of its own: how far the two-thread design's floor already is
    // from the single thread, and how close the link comes to that floor.
    std::snprintf(measured, sizeof measured, "%.2fx; LCommProc vs it %.2fx", twoThreadT.medianUs / minimalT.medianUs,
                  driverT.medianUs / twoThreadT.medianUs);
    bench::Reference("the same turnaround of a bare two-thread loop vs the minimal loop", measured);
    return 0;
}
