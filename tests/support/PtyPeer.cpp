#include "PtyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

PtyPeer::PtyPeer()
{
    termios raw{};
    cfmakeraw(&raw);
    char name[PATH_MAX];
    if (openpty(&master_, &slave_, nullptr, &raw, nullptr) != 0 || ttyname_r(slave_, name, sizeof name) != 0) {
        return;  // Ok() stays false when the pair or its name is missing
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    path_ = name;
}

PtyPeer::~PtyPeer()
{
    CloseMaster();
    if (slave_ >= 0) {
        close(slave_);
    }
}

bool PtyPeer::Write(const ByteVector& bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        if (n <= 0) {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 100);  // the buffer is full: wait until the driver reads
        }
        done += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
    }
    return true;
}

ByteVector PtyPeer::Read()
{
    ByteVector out;
    std::uint8_t buf[512];
    for (ssize_t n; (n = read(master_, buf, sizeof buf)) > 0;) {
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

void PtyPeer::CloseMaster()
{
    if (master_ >= 0) {
        close(master_);
    }
    master_ = -1;
}
