// The simulated KESTRA's line on Windows, which has no pseudo-terminals: the
// device listens on a loopback TCP port and Start() returns
// "tcp://127.0.0.1:PORT", a port name the panel and kestractl open like any
// network serial line. One client at a time, as one cable: a new connection
// replaces the old one, as a panel reopening its port would.
//
// A TCP stream carries no line speed, so the speed check of the
// pseudo-terminal line does not apply and LineBaud() is 0; wire-speed
// emulation still paces the replies. Serving a real COM port (kestra-sim's
// --device) is not offered here.
#include "KestraSim.h"

#include "StateFile.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <optional>

namespace sim {

namespace {

// Kernel handles, sockets included, carry 32 significant bits on 64-bit
// Windows (so that 32-bit processes can share them), so they fit the
// header's int members.
SOCKET Sock(int fd) { return fd < 0 ? INVALID_SOCKET : static_cast<SOCKET>(static_cast<unsigned>(fd)); }
int Fd(SOCKET s) { return s == INVALID_SOCKET ? -1 : static_cast<int>(s); }

void CloseFd(int& fd)
{
    if (fd >= 0) {
        ::closesocket(Sock(fd));
        fd = -1;
    }
}

bool SetNonBlocking(SOCKET s)
{
    u_long on = 1;
    return ::ioctlsocket(s, FIONBIO, &on) == 0;
}

// A UDP socket connected to itself: Wake() sends it a byte, which ends the
// serving thread's WSAPoll, as the eventfd does on Linux.
SOCKET SelfWakingSocket()
{
    SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        return s;
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof a;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0
        || ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0
        || ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || !SetNonBlocking(s)) {
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

std::chrono::nanoseconds ByteTime(int baud)
{
    return std::chrono::nanoseconds(10'000'000'000LL / (baud > 0 ? baud : kFirmwareBaud));
}

}  // namespace

int BaudOf(unsigned) { return 0; }

KestraSim::KestraSim(SimOptions options) : options_(std::move(options)) {}

KestraSim::~KestraSim() { Stop(); }

std::string KestraSim::Start()
{
    std::unique_lock lock(mutex_);
    if (running_) {
        return slavePath_;
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
    WSADATA wsa;
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        return {};
    }
    wakeFd_ = Fd(SelfWakingSocket());
    if (wakeFd_ < 0 || !OpenLine()) {
        CloseFd(wakeFd_);
        ::WSACleanup();
        return {};
    }
    stop_ = false;
    vanished_ = false;
    running_ = true;
    thread_ = std::thread([this] { Run(); });
    return slavePath_;
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
    CloseFd(wakeFd_);
    ::WSACleanup();
}

std::string KestraSim::Path() const
{
    std::unique_lock lock(mutex_);
    return slavePath_;
}

// keepSlave_ is the listening socket, lineFd_ the connected client (-1 while
// none is). Reopening after Vanish() takes the same port again, so that a
// client holding the old name finds the device back.
bool KestraSim::OpenLine()
{
    deviceSpeedSet_ = device_.Baud();
    if (!options_.device.empty()) {
        return false;
    }
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) {
        return false;
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    unsigned port = 0;
    const auto colon = slavePath_.rfind(':');
    if (colon != std::string::npos) {
        port = static_cast<unsigned>(std::stoul(slavePath_.substr(colon + 1)));
    }
    a.sin_port = htons(static_cast<u_short>(port));
    int len = sizeof a;
    // Exclusive: no other program may take over the device's port.
    BOOL exclusive = TRUE;
    ::setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener, 1) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0 || !SetNonBlocking(listener)) {
        ::closesocket(listener);
        return false;
    }
    keepSlave_ = Fd(listener);
    slavePath_ = "tcp://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    return true;
}

void KestraSim::CloseLine()
{
    CloseFd(lineFd_);
    CloseFd(keepSlave_);
    pending_.clear();
    txFree_ = {};  // dropped bytes no longer hold the line
}

void KestraSim::Wake()
{
    if (wakeFd_ >= 0) {
        const char one = 1;
        ::send(Sock(wakeFd_), &one, 1, 0);
    }
}

std::int64_t KestraSim::NowMs(Clock::time_point t) const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(t - start_).count();
}

int KestraSim::SpeedOf(int) const { return 0; }

void KestraSim::SetDeviceSpeed(int baud) { deviceSpeedSet_ = baud; }

void KestraSim::HandleInput(const std::uint8_t* data, std::size_t size, Clock::time_point now)
{
    lastInput_ = now;
    Clock::time_point arrived = now;
    if (options_.wireSpeed) {
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
        const int n = ::send(Sock(lineFd_), reinterpret_cast<const char*>(out.data() + done),
                             static_cast<int>(out.size() - done), 0);
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
    char buffer[4096];
    for (;;) {
        int timeoutMs = -1;
        {
            std::unique_lock lock(mutex_);
            if (stop_) {
                return;
            }
            if (request_ == Request::Vanish) {
                CloseLine();
                vanished_ = true;
            } else if (request_ == Request::Reappear) {
                reappearFailed_ = !OpenLine();
                vanished_ = reappearFailed_;
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
                // WSAPoll counts whole milliseconds: round up, never wake early.
                const auto wait = std::max(std::chrono::nanoseconds(0), *next - now);
                timeoutMs = static_cast<int>((wait.count() + 999'999) / 1'000'000);
            }
        }
        WSAPOLLFD fds[3] = {};
        ULONG count = 0;
        fds[count++] = {Sock(wakeFd_), POLLRDNORM, 0};
        const int line = lineFd_;
        const int listener = keepSlave_;
        const ULONG lineAt = count;
        if (line >= 0) {
            fds[count++] = {Sock(line), POLLRDNORM, 0};
        }
        const ULONG listenerAt = count;
        if (listener >= 0) {
            fds[count++] = {Sock(listener), POLLRDNORM, 0};
        }
        if (::WSAPoll(fds, count, timeoutMs) == SOCKET_ERROR) {
            return;
        }
        if (fds[0].revents & POLLRDNORM) {
            while (::recv(Sock(wakeFd_), buffer, sizeof buffer, 0) > 0) {
            }
        }
        std::unique_lock lock(mutex_);
        const auto now = Clock::now();
        if (listener >= 0 && listener == keepSlave_ && (fds[listenerAt].revents & POLLRDNORM)) {
            SOCKET client = ::accept(Sock(listener), nullptr, nullptr);
            if (client != INVALID_SOCKET) {
                SetNonBlocking(client);
                BOOL noDelay = TRUE;  // a frame is a few bytes: send each reply at once
                ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
                CloseFd(lineFd_);
                pending_.clear();  // what the previous client did not read is gone with it
                txFree_ = {};
                lineFd_ = Fd(client);
                device_.LineOpened();
            }
        }
        if (line >= 0 && line == lineFd_ && (fds[lineAt].revents & (POLLRDNORM | POLLHUP | POLLERR))) {
            const int n = ::recv(Sock(line), buffer, sizeof buffer, 0);
            if (n > 0) {
                HandleInput(reinterpret_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(n), now);
            } else if (n == 0 || ::WSAGetLastError() != WSAEWOULDBLOCK) {
                // The client closed its port; the device waits for the next one.
                CloseFd(lineFd_);
                pending_.clear();
                txFree_ = {};
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

int KestraSim::LineBaud() const { return 0; }

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
    return slavePath_;
}

bool KestraSim::Vanished() const
{
    std::unique_lock lock(mutex_);
    return vanished_;
}

}  // namespace sim
