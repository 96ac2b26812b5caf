#include "KestraSim.h"

#include "StateFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <optional>

namespace sim {

namespace {

struct SpeedEntry {
    speed_t speed;
    int baud;
};
constexpr SpeedEntry kSpeeds[] = {
    {B1200, 1200}, {B2400, 2400}, {B4800, 4800}, {B9600, 9600}, {B19200, 19200}, {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
};

speed_t SpeedConstant(int baud)
{
    for (const auto& e : kSpeeds) {
        if (e.baud == baud) {
            return e.speed;
        }
    }
    return B9600;
}

bool MakeRaw(int fd, int baud)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        return false;
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&t, SpeedConstant(baud));
    ::cfsetospeed(&t, SpeedConstant(baud));
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

std::chrono::nanoseconds ByteTime(int baud)
{
    return std::chrono::nanoseconds(10'000'000'000LL / (baud > 0 ? baud : kFirmwareBaud));
}

}  // namespace

int BaudOf(unsigned speed)
{
    for (const auto& e : kSpeeds) {
        if (e.speed == speed) {
            return e.baud;
        }
    }
    return 0;
}

KestraSim::KestraSim(SimOptions options) : options_(std::move(options)) {}

KestraSim::~KestraSim() { Stop(); }

std::string KestraSim::Start()
{
    std::unique_lock lock(mutex_);
    if (running_) {
        return options_.linkPath.empty() ? slavePath_ : options_.linkPath;
    }
    DeviceState state;
    if (!options_.stateFile.empty()) {
        if (auto loaded = LoadStateFile(options_.stateFile)) {
            state = *loaded;
            state.live = SwitchOnSettings(state);
        }
    }
    device_ = SimDevice(state, options_.bootLoader);
    device_.KeepReceived(options_.keepReceived);
    device_.SetChoices(options_.choices);
    device_.Device().SetSpeech(options_.speech, 0);
    savedRevision_ = device_.Device().Revision();
    start_ = Clock::now();
    if (!OpenLine()) {
        return {};
    }
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        CloseLine();
        return {};
    }
    stop_ = false;
    vanished_ = false;
    running_ = true;
    thread_ = std::thread([this] { Run(); });
    return options_.linkPath.empty() ? slavePath_ : options_.linkPath;
}

void KestraSim::Stop()
{
    {
        std::unique_lock lock(mutex_);
        if (!running_) {
            return;
        }
        stop_ = true;
    }
    Wake();
    thread_.join();
    std::unique_lock lock(mutex_);
    running_ = false;
    CloseLine();
    ::close(wakeFd_);
    wakeFd_ = -1;
    if (!options_.linkPath.empty()) {
        ::unlink(options_.linkPath.c_str());
    }
}

std::string KestraSim::Path() const
{
    std::unique_lock lock(mutex_);
    return options_.linkPath.empty() ? slavePath_ : options_.linkPath;
}

bool KestraSim::OpenLine()
{
    deviceSpeedSet_ = device_.Baud();
    if (!options_.device.empty()) {
        lineFd_ = ::open(options_.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (lineFd_ < 0) {
            return false;
        }
        MakeRaw(lineFd_, deviceSpeedSet_);
        slavePath_ = options_.device;
        return true;
    }
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        return false;
    }
    char name[128] = {};
    if (::ttyname_r(slave, name, sizeof name) != 0) {
        ::close(master);
        ::close(slave);
        return false;
    }
    // Raw from the start: a cooked slave would echo our replies back to us.
    MakeRaw(slave, kFirmwareBaud);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    lineFd_ = master;
    keepSlave_ = slave;
    slavePath_ = name;
    if (!options_.linkPath.empty()) {
        const std::string temp = options_.linkPath + ".new";
        ::unlink(temp.c_str());
        if (::symlink(slavePath_.c_str(), temp.c_str()) != 0 || std::rename(temp.c_str(), options_.linkPath.c_str()) != 0) {
            ::unlink(temp.c_str());
        }
    }
    return true;
}

void KestraSim::CloseLine()
{
    if (lineFd_ >= 0) {
        ::close(lineFd_);
        lineFd_ = -1;
    }
    if (keepSlave_ >= 0) {
        ::close(keepSlave_);
        keepSlave_ = -1;
    }
    pending_.clear();
    txFree_ = {};  // dropped bytes no longer hold the line
}

void KestraSim::Wake()
{
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
    }
}

std::int64_t KestraSim::NowMs(Clock::time_point t) const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(t - start_).count();
}

int KestraSim::SpeedOf(int fd) const
{
    termios t{};
    if (fd < 0 || ::tcgetattr(fd, &t) != 0) {
        return 0;
    }
    return BaudOf(::cfgetospeed(&t));
}

void KestraSim::SetDeviceSpeed(int baud)
{
    if (options_.device.empty() || lineFd_ < 0 || baud == deviceSpeedSet_) {
        return;
    }
    ::tcdrain(lineFd_);  // the last reply still goes out at the old speed
    MakeRaw(lineFd_, baud);
    deviceSpeedSet_ = baud;
}

void KestraSim::HandleInput(const std::uint8_t* data, std::size_t size, Clock::time_point now)
{
    lastInput_ = now;
    if (options_.checkLineSpeed && keepSlave_ >= 0) {
        const int lineBaud = SpeedOf(keepSlave_);
        if (lineBaud != device_.Baud()) {
            // Hardware at another speed hears framing errors, not bytes.
            garbled_ += size;
            changed_.notify_all();
            return;
        }
    }
    Clock::time_point arrived = now;
    if (options_.wireSpeed) {
        // The last byte is in only after every byte's 10 bits have crossed the wire.
        rxFree_ = std::max(now, rxFree_) + ByteTime(device_.Baud()) * static_cast<long>(size);
        arrived = rxFree_;
    }
    Emit(device_.Receive(data, size, NowMs(now)), arrived);
    AfterChange();
}

void KestraSim::Emit(std::vector<Reply> replies, Clock::time_point from)
{
    for (auto& r : replies) {
        ++replies_;
        // Behind everything still queued: a late reply holds back the ones
        // after it, as one line would.
        Clock::time_point t = std::max(from, txFree_) + std::chrono::milliseconds(r.lateMs);
        for (auto b : r.bytes) {
            if (options_.wireSpeed) {
                t += ByteTime(r.baud);
            }
            pending_.push_back({t, b});
        }
        txFree_ = t;
    }
}

void KestraSim::FlushDue(Clock::time_point now)
{
    ByteVector out;
    while (!pending_.empty() && pending_.front().due <= now) {
        out.push_back(pending_.front().byte);
        pending_.pop_front();
    }
    std::size_t done = 0;
    while (lineFd_ >= 0 && done < out.size()) {
        const ssize_t n = ::write(lineFd_, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;  // nobody drains the line: the bytes are lost, as on a wire
        }
        done += static_cast<std::size_t>(n);
    }
    if (pending_.empty()) {
        SetDeviceSpeed(device_.Baud());
    }
}

void KestraSim::AfterChange()
{
    const auto revision = device_.Device().Revision();
    if (!options_.stateFile.empty() && revision != savedRevision_) {
        SaveStateFile(options_.stateFile, device_.Device().State());
        savedRevision_ = revision;
    }
    changed_.notify_all();
}

void KestraSim::Run()
{
    // A byte is due at its time on the wire; the system's default timer slack
    // (50 us) would make every emulated reply late by up to that much.
    ::prctl(PR_SET_TIMERSLACK, 1UL);
    std::uint8_t buffer[4096];
    for (;;) {
        int fd = -1;
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        {
            std::unique_lock lock(mutex_);
            if (stop_) {
                return;
            }
            if (request_ == Request::Vanish) {
                CloseLine();
                if (!options_.linkPath.empty()) {
                    ::unlink(options_.linkPath.c_str());
                }
                vanished_ = true;
            } else if (request_ == Request::Reappear) {
                reappearFailed_ = !OpenLine();
                vanished_ = reappearFailed_;
                device_.LineOpened();
            }
            if (request_ != Request::None) {
                request_ = Request::None;
                changed_.notify_all();
            }
            const auto now = Clock::now();
            FlushDue(now);
            std::optional<Clock::time_point> next;
            if (!pending_.empty()) {
                next = pending_.front().due;
            }
            if (device_.PartialInput()) {
                const auto idleAt = lastInput_ + std::chrono::milliseconds(options_.idleMs);
                next = next ? std::min(*next, idleAt) : idleAt;
            }
            if (next) {
                const auto wait = std::max(std::chrono::nanoseconds(0), *next - now);
                timeout.tv_sec = static_cast<time_t>(wait.count() / 1'000'000'000);
                timeout.tv_nsec = static_cast<long>(wait.count() % 1'000'000'000);
                timeoutPtr = &timeout;
            }
            fd = lineFd_;
        }
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd, POLLIN, 0}};
        const int ready = ::ppoll(fds, fd >= 0 ? 2 : 1, timeoutPtr, nullptr);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] auto n = ::read(wakeFd_, &count, sizeof count);
        }
        std::unique_lock lock(mutex_);
        const auto now = Clock::now();
        if (fd >= 0 && fd == lineFd_ && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                HandleInput(buffer, static_cast<std::size_t>(n), now);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                // The serial device went away: stop listening rather than spin.
                CloseLine();
                vanished_ = true;
                changed_.notify_all();
            }
        }
        if (device_.PartialInput() && now - lastInput_ >= std::chrono::milliseconds(options_.idleMs)) {
            Emit(device_.Idle(NowMs(now)), now);
            AfterChange();
        }
    }
}

void KestraSim::DiscardUnread()
{
    std::unique_lock lock(mutex_);
    pending_.clear();
    txFree_ = {};
    if (keepSlave_ >= 0) {
        ::tcflush(keepSlave_, TCIFLUSH);
    }
}

std::vector<ByteVector> KestraSim::Received() const
{
    std::unique_lock lock(mutex_);
    return device_.Received();
}

std::size_t KestraSim::ReceivedCount() const
{
    std::unique_lock lock(mutex_);
    return device_.Received().size();
}

bool KestraSim::WaitForReceived(std::size_t count, std::chrono::milliseconds timeout) const
{
    return WaitUntil([count](const SimDevice& d) { return d.Received().size() >= count; }, timeout);
}

bool KestraSim::WaitUntil(const std::function<bool(const SimDevice&)>& done, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done(device_); });
}

void KestraSim::ClearReceived()
{
    std::unique_lock lock(mutex_);
    device_.ClearReceived();
}

DeviceState KestraSim::State() const
{
    std::unique_lock lock(mutex_);
    return device_.Device().State();
}

void KestraSim::SetState(const DeviceState& state)
{
    std::unique_lock lock(mutex_);
    device_.Device().SetState(state);
    AfterChange();
}

void KestraSim::RandomiseState(std::uint32_t seed) { SetState(DeviceState::Random(seed)); }

Flash KestraSim::FlashContents() const
{
    std::unique_lock lock(mutex_);
    return device_.Loader().Memory();
}

bool KestraSim::InBootLoader() const
{
    std::unique_lock lock(mutex_);
    return device_.InBootLoader();
}

int KestraSim::DeviceBaud() const
{
    std::unique_lock lock(mutex_);
    return device_.Baud();
}

int KestraSim::LineBaud() const
{
    std::unique_lock lock(mutex_);
    return keepSlave_ >= 0 ? SpeedOf(keepSlave_) : SpeedOf(lineFd_);
}

std::size_t KestraSim::GarbledBytes() const
{
    std::unique_lock lock(mutex_);
    return garbled_;
}

std::size_t KestraSim::RepliesSent() const
{
    std::unique_lock lock(mutex_);
    return replies_;
}

void KestraSim::SetSpeech(unsigned micMask)
{
    std::unique_lock lock(mutex_);
    device_.Device().SetSpeech(micMask, NowMs(Clock::now()));
    changed_.notify_all();
}

bool KestraSim::DuckingActive() const
{
    std::unique_lock lock(mutex_);
    return device_.Device().DuckingActive();
}

void KestraSim::SetFault(const Fault& fault)
{
    std::unique_lock lock(mutex_);
    device_.SetFault(fault);
}

void KestraSim::SetChoices(const Choices& choices)
{
    std::unique_lock lock(mutex_);
    options_.choices = choices;
    device_.SetChoices(choices);
}

Choices KestraSim::CurrentChoices() const
{
    std::unique_lock lock(mutex_);
    return device_.CurrentChoices();
}

void KestraSim::SetWireSpeed(bool on)
{
    std::unique_lock lock(mutex_);
    options_.wireSpeed = on;
}

void KestraSim::Vanish()
{
    std::unique_lock lock(mutex_);
    if (!running_ || vanished_) {
        return;
    }
    request_ = Request::Vanish;
    Wake();
    changed_.wait(lock, [this] { return request_ == Request::None; });
}

std::string KestraSim::Reappear()
{
    std::unique_lock lock(mutex_);
    if (!running_) {
        return {};
    }
    if (vanished_) {
        request_ = Request::Reappear;
        Wake();
        changed_.wait(lock, [this] { return request_ == Request::None; });
        if (reappearFailed_) {
            return {};
        }
    }
    return options_.linkPath.empty() ? slavePath_ : options_.linkPath;
}

bool KestraSim::Vanished() const
{
    std::unique_lock lock(mutex_);
    return vanished_;
}

}  // namespace sim
