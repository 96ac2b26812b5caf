#include "PtyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

PtyPeer::PtyPeer()
{
    termios raw{};
    cfmakeraw(&raw);
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0) {
        return;
    }
    char name[PATH_MAX];
    if (ttyname_r(slave, name, sizeof name) != 0) {
        close(master);
        close(slave);
        return;
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    master_ = master;
    slave_ = slave;
    path_ = name;
}

PtyPeer::~PtyPeer()
{
    StopResponder();
    CloseMaster();
    if (slave_ >= 0) {
        close(slave_);
    }
}

unsigned PtyPeer::SlaveSpeed() const
{
    termios t{};
    if (slave_ < 0 || tcgetattr(slave_, &t) != 0) {
        return 0;
    }
    return static_cast<unsigned>(cfgetospeed(&t));
}

bool PtyPeer::Write(const ByteVector& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

ByteVector PtyPeer::Read()
{
    ByteVector out;
    std::uint8_t buf[512];
    for (;;) {
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) {
            return out;
        }
        out.insert(out.end(), buf, buf + n);
    }
}

void PtyPeer::StartResponder(Answer answer)
{
    StopResponder();
    stop_.store(false);
    responder_ = std::thread([this, answer = std::move(answer)] { Respond(answer); });
}

void PtyPeer::StopResponder()
{
    if (responder_.joinable()) {
        stop_.store(true);
        responder_.join();
    }
}

ByteVector PtyPeer::Received() const
{
    std::lock_guard lock(receivedMutex_);
    return received_;
}

void PtyPeer::Respond(const Answer& answer)
{
    std::uint8_t buf[512];
    while (!stop_.load()) {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0 || (p.revents & POLLIN) == 0) {
            continue;
        }
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) {
            continue;
        }
        const ByteVector chunk(buf, buf + n);
        {
            std::lock_guard lock(receivedMutex_);
            received_.insert(received_.end(), chunk.begin(), chunk.end());
        }
        const ByteVector out = answer(chunk);
        if (!out.empty()) {
            Write(out);
        }
    }
}

void PtyPeer::CloseMaster()
{
    StopResponder();
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

std::vector<ByteVector> FrameSplitter::Add(const ByteVector& bytes)
{
    std::vector<ByteVector> frames;
    for (std::uint8_t b : bytes) {
        if (pending_.empty() && b != frame::kDle) {
            continue;
        }
        if (pending_.size() == 1 && b != frame::kStx) {
            pending_.clear();
            if (b != frame::kDle) {
                continue;
            }
        }
        pending_.push_back(b);
        if (pending_.size() >= 4 && pending_.size() == pending_[3] + frame::kOverhead) {
            frames.push_back(std::move(pending_));
            pending_.clear();
        }
    }
    return frames;
}

PtyPeer::Answer AckEveryFrame()
{
    auto splitter = std::make_shared<FrameSplitter>();
    return [splitter](const ByteVector& chunk) {
        static const ByteVector ack = LCmd(0x01, 0x01).MakeFrame(frame::kModeFramed);
        ByteVector out;
        for (std::size_t i = splitter->Add(chunk).size(); i > 0; --i) {
            out.insert(out.end(), ack.begin(), ack.end());
        }
        return out;
    };
}
