#include "PtyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

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
    CloseMaster();
    if (slave_ >= 0) {
        close(slave_);
    }
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

void PtyPeer::CloseMaster()
{
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}
