// The RFC 2217 client against device servers that answer line settings in
// ways ser2net on a pseudo-terminal never does: a server that keeps its own
// format, one that never answers, one that refuses the option, and one that
// drops settings sent before it agreed to the option. (ser2net itself: the
// driver tests and the window's firmware update over rfc2217://.)
#include "PortErrors.h"
#include "Rfc2217.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include <thread>

namespace {

using Rfc = comm::Rfc2217Transport;

enum class Server {
    Echo,     // agrees and answers every setting as asked
    Keep7E1,  // agrees, answers the speed as asked and 7E1 for the format
    Silent,   // agrees and never answers a setting
    Refuse,   // DONT COM-PORT-CONTROL
    Strict,   // agrees only when asked, and drops settings sent with the request
};

// One connection on 127.0.0.1, served on its own thread as `kind` says.
class FakeServer {
public:
    explicit FakeServer(Server kind) : kind_(kind)
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), len) == 0 && ::listen(listen_, 1) == 0 &&
            ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
            port_ = ntohs(a.sin_port);
            thread_ = std::thread([this] { Serve(); });
        }
    }
    ~FakeServer()
    {
        if (thread_.joinable()) {
            thread_.join();
        }
        ::close(listen_);
    }
    quint16 Port() const { return port_; }

private:
    // Waits for readable input, at most the client's own patience and a bit.
    static bool Readable(int fd)
    {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, Rfc::kReplyTimeoutMs + 1000) > 0;
    }

    void Serve()
    {
        if (!Readable(listen_)) {
            return;
        }
        const int c = ::accept(listen_, nullptr, nullptr);
        auto say = [c](std::initializer_list<unsigned char> bytes) {
            [[maybe_unused]] const auto n = ::write(c, std::data(bytes), bytes.size());
        };
        bool agreed = false;
        unsigned char buf[512];
        ssize_t n = 0;
        while (Readable(c) && (n = ::read(c, buf, sizeof buf)) > 0) {
            bool askedNow = false;
            for (ssize_t i = 0; i + 2 < n; ++i) {
                if (buf[i] != Rfc::kIac) {
                    continue;
                }
                if (buf[i + 1] == Rfc::kWill && buf[i + 2] == Rfc::kComPort) {
                    say({Rfc::kIac, kind_ == Server::Refuse ? Rfc::kDont : Rfc::kDo, Rfc::kComPort});
                    agreed = kind_ != Server::Refuse;
                    askedNow = true;
                } else if (buf[i + 1] == Rfc::kSb && buf[i + 2] == Rfc::kComPort && i + 6 < n && agreed &&
                           kind_ != Server::Silent && !(kind_ == Server::Strict && askedNow)) {
                    // IAC SB COM-PORT command value IAC SE; no 0xFF in the values used here.
                    const unsigned char command = buf[i + 3];
                    const qsizetype size = command == Rfc::kSetBaudRate ? 4 : 1;
                    QByteArray answer("\xff\xfa", 2);
                    answer.append(char(Rfc::kComPort)).append(char(command + Rfc::kServerOffset));
                    const std::uint8_t kept[] = {0, 0, 7, 3, 1};  // data 7, parity even, 1 stop bit
                    if (kind_ == Server::Keep7E1 && command != Rfc::kSetBaudRate && command <= Rfc::kSetStopSize) {
                        answer.append(char(kept[command]));
                    } else {
                        answer.append(reinterpret_cast<const char*>(buf + i + 4), size);
                    }
                    answer.append("\xff\xf0", 2);
                    [[maybe_unused]] const auto w = ::write(c, answer.constData(), static_cast<size_t>(answer.size()));
                }
            }
        }
        ::close(c);
    }

    Server kind_;
    int listen_ = -1;
    quint16 port_ = 0;
    std::thread thread_;
};

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
        FakeServer server(c.server);
        ASSERT_NE(server.Port(), 0);
        Rfc t(QStringLiteral("127.0.0.1"), server.Port());
        const bool ok = *c.why == '\0';
        EXPECT_EQ(t.Open(comm::LineSettings{}), ok);
        EXPECT_EQ(t.ErrorText().isEmpty(), ok);
        EXPECT_THAT(t.ErrorText().toStdString(), testing::HasSubstr(c.why));
        if (ok) {
            EXPECT_TRUE(t.SetLine(comm::LineSettings{115200, 8, 0, 0})) << "the update's switch of speed";
            t.close();
        }
    }
}
