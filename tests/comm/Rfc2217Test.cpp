// The RFC 2217 client against device servers that answer line settings in
// ways ser2net on a pseudo-terminal never does. (ser2net itself: the driver
// tests and the window's firmware update over rfc2217://.)
#include "Rfc2217.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include <thread>

namespace {

using Rfc = comm::Rfc2217Transport;

// Echo: agrees and answers each setting as asked. Keep7E1: answers the speed
// as asked and 7E1 for the format. Silent: agrees, never answers. Refuse:
// DONT COM-PORT-CONTROL. Strict: agrees when asked, and drops the settings
// that came with the request, before its agreement.
enum class Server { Echo, Keep7E1, Silent, Refuse, Strict };

bool Readable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, Rfc::kReplyTimeoutMs + 1000) > 0;
}

// Serves one connection; "," is option 44, COM-PORT-CONTROL.
void Serve(int listener, Server kind)
{
    const int c = Readable(listener) ? ::accept(listener, nullptr, nullptr) : -1;
    char buffer[512];
    ssize_t n = 0;
    bool agreed = false;
    while (c >= 0 && Readable(c) && (n = ::read(c, buffer, sizeof buffer)) > 0) {
        const QByteArray in(buffer, n);
        QByteArray out;
        bool drop = false;
        if (in.contains("\xff\xfb,")) {  // WILL
            out += kind == Server::Refuse ? "\xff\xfe," : "\xff\xfd,";
            agreed = kind != Server::Refuse;
            drop = kind == Server::Strict;
        }
        for (qsizetype i = in.indexOf("\xff\xfa,"); i >= 0 && agreed && !drop && kind != Server::Silent;
             i = in.indexOf("\xff\xfa,", i + 1)) {
            const char command = in.at(i + 3);
            QByteArray value = in.mid(i + 4, command == Rfc::kSetBaudRate ? 4 : 1);  // no 0xFF in them here
            if (kind == Server::Keep7E1 && command != Rfc::kSetBaudRate) {
                value = QByteArray(1, "\0\0\7\3\1"[static_cast<int>(command)]);  // 7 bits, even, 1 stop bit
            }
            out += "\xff\xfa," + QByteArray(1, static_cast<char>(command + Rfc::kServerOffset)) + value + "\xff\xf0";
        }
        [[maybe_unused]] const auto written = ::write(c, out.constData(), static_cast<size_t>(out.size()));
    }
    ::close(c);
}

}  // namespace

TEST(Rfc2217, LineSettingsCountOnlyWhenAgreedAndAnsweredAsAsked)
{
    const struct { Server server; const char* why; } cases[] = {
        {Server::Echo, ""},
        {Server::Strict, ""},
        {Server::Keep7E1, "refused the line settings: asked for 9600 baud 8N1, it keeps 9600 baud 7E1"},
        {Server::Refuse, "does not take line settings over telnet (RFC 2217)"},
        {Server::Silent, "did not confirm the line settings (9600 baud 8N1): either the device server cannot open "
                         "its serial port, or it does not take line settings"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t size = sizeof a;
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), size) | ::listen(listener, 1) |
                      ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &size),
                  0);
        std::thread server(Serve, listener, c.server);
        Rfc t(QStringLiteral("127.0.0.1"), ntohs(a.sin_port));
        const bool ok = *c.why == '\0';
        EXPECT_EQ(t.Open(comm::LineSettings{}), ok);
        EXPECT_EQ(t.ErrorText().isEmpty(), ok);
        EXPECT_THAT(t.ErrorText().toStdString(), testing::HasSubstr(c.why));
        EXPECT_TRUE(!ok || t.SetLine(comm::LineSettings{115200, 8, 0, 0})) << "the update's switch of speed";
        t.close();
        server.join();
        ::close(listener);
    }
}
