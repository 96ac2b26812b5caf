#include "KestraSim.h"

#include "StateFile.h"

#include <algorithm>
#include <optional>

namespace sim {

namespace {

std::chrono::nanoseconds ByteTime(int baud)
{
    return std::chrono::nanoseconds(10'000'000'000LL / (baud > 0 ? baud : kFirmwareBaud));
}

}  // namespace

KestraSim::KestraSim(SimOptions options) : options_(std::move(options)) {}

KestraSim::~KestraSim() { Stop(); }

std::string KestraSim::Start()
{
    std::unique_lock lock(mutex_);
    if (running_) {
        return line_.Path();
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
    if (!line_.Begin() || !OpenLine()) {
        line_.End();
        return {};
    }
    stop_ = false;
    vanished_ = false;
    running_ = true;
    thread_ = std::thread([this] { Run(); });
    return line_.Path();
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
    line_.End();
}

std::string KestraSim::Path() const
{
    std::unique_lock lock(mutex_);
    return line_.Path();
}

bool KestraSim::OpenLine()
{
    deviceSpeedSet_ = device_.Baud();
    return line_.Open(deviceSpeedSet_);
}

void KestraSim::CloseLine()
{
    line_.Close();
    pending_.clear();
    txFree_ = {};  // dropped bytes no longer hold the line
}

void KestraSim::Wake()
{
    line_.Wake();
}

std::int64_t KestraSim::NowMs(Clock::time_point t) const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(t - start_).count();
}

void KestraSim::SetDeviceSpeed(int baud)
{
    if (baud != deviceSpeedSet_ && line_.SetDeviceSpeed(baud)) {
        deviceSpeedSet_ = baud;
    }
}

void KestraSim::HandleInput(const std::uint8_t* data, std::size_t size, Clock::time_point now)
{
    lastInput_ = now;
    if (options_.checkLineSpeed) {
        const std::optional<int> lineBaud = line_.FarSpeed();
        if (lineBaud && *lineBaud != device_.Baud()) {
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
    // What the line does not take now (nobody drains it) is lost, as on a wire.
    line_.Write(out.data(), out.size());
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
    line_.PrepareThread();
    std::uint8_t buffer[4096];
    for (;;) {
        std::optional<Clock::time_point> next;
        {
            std::unique_lock lock(mutex_);
            if (stop_) {
                return;
            }
            if (request_ == Request::Vanish) {
                CloseLine();
                line_.RemoveLink();
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
            if (!pending_.empty()) {
                next = pending_.front().due;
            }
            if (device_.PartialInput()) {
                const auto idleAt = lastInput_ + std::chrono::milliseconds(options_.idleMs);
                next = next ? std::min(*next, idleAt) : idleAt;
            }
        }
        const SimLine::Ready ready = line_.Wait(next);
        if (ready.failed) {
            return;
        }
        std::unique_lock lock(mutex_);
        const auto now = Clock::now();
        const SimLine::Taken taken = line_.Take(ready, buffer, sizeof buffer);
        if (taken.connected || taken.disconnected) {
            pending_.clear();  // what the previous client did not read is gone with it
            txFree_ = {};
        }
        if (taken.connected) {
            device_.LineOpened();
        }
        if (taken.bytes > 0) {
            HandleInput(buffer, taken.bytes, now);
        } else if (taken.gone) {
            CloseLine();
            vanished_ = true;
            changed_.notify_all();
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
    line_.DiscardUnread();
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
    return line_.LineSpeed();
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
    return line_.Path();
}

bool KestraSim::Vanished() const
{
    std::unique_lock lock(mutex_);
    return vanished_;
}

}  // namespace sim
