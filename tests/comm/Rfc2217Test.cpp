// The RFC 2217 client against device servers that answer line settings in
// ways ser2net on a pseudo-terminal never does, and against Debian's ser2net
// that cannot open its device. (ser2net serving a device: the window's
// firmware update over rfc2217://.)
#include "CommFixture.h"
#include "Rfc2217.h"
#include "Ser2net.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include <thread>

namespace {

// One connection: `agreement` answers the client's first bytes (its option
// requests), `settings` its next ones; then it waits for the client to go.
// Settings sent before the agreement are never answered. `heard`: the
// client's first bytes. `hangUp`: closes right after the agreement.
void Serve(int listener, const QByteArray& agreement, const QByteArray& settings, QByteArray* heard = nullptr,
           bool hangUp = false)
{
    pollfd p{listener, POLLIN, 0};
    const int c = ::poll(&p, 1, 5000) > 0 ? ::accept(listener, nullptr, nullptr) : -1;
    p.fd = c;
    char buffer[512];
    for (const QByteArray& reply : {agreement, settings, QByteArray()}) {
        const ssize_t n = c < 0 || ::poll(&p, 1, 5000) <= 0 ? -1 : ::read(c, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        if (heard != nullptr && heard->isEmpty()) {
            *heard = QByteArray(buffer, n);
        }
        [[maybe_unused]] const auto written = ::write(c, reply.constData(), static_cast<size_t>(reply.size()));
        if (hangUp) {
            break;
        }
    }
    ::close(c);
}

// The server's answers (IAC SB COM-PORT-CONTROL command+100 value IAC SE) to
// 9600 baud and this format.
QByteArray Answers(char dataBits, char parity)
{
    QByteArray out;
    const QByteArray values[] = {QByteArray("\0\0\x25\x80", 4), {1, dataBits}, {1, parity}, {1, 1}};
    for (char command = 1; command <= 4; ++command) {
        out += "\xff\xfa," + QByteArray(1, static_cast<char>(command + 100)) + values[command - 1] + "\xff\xf0";
    }
    return out;
}

// A listening socket on a free port of 127.0.0.1.
int Listen(quint16& port)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof a;
    EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), size) | ::listen(listener, 1) |
                  ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &size),
              0);
    port = ntohs(a.sin_port);
    return listener;
}

}  // namespace

// ser2net that cannot open its device hangs up before answering: named as
// such. (Its words, when it gets to send them, are the table's case below.)
// A test process that starts a child process is left out of the
// ThreadSanitizer run: see scripts/test.sh.
TEST(Rfc2217Ser2net, ServerWithoutItsDeviceIsNamed)
{
    Ser2net unplugged(QStringLiteral("/dev/kestra-no-such-port"), Ser2net::Mode::Rfc2217);
    ASSERT_TRUE(unplugged.Start()) << unplugged.Why().toStdString();
    comm::Rfc2217Transport t(QStringLiteral("127.0.0.1"), unplugged.Port());
    EXPECT_FALSE(t.Open(comm::LineSettings{}));
    const std::string text = t.Failure().text.toStdString();
    EXPECT_THAT(text, testing::HasSubstr(QStringLiteral("127.0.0.1:%1 closed the connection before confirming the "
                                                        "line settings: the device server could not open its serial "
                                                        "port (in use, unplugged, or a wrong device in its "
                                                        "configuration).")
                                             .arg(unplugged.Port())
                                             .toStdString()));
    if (text.find("It said") != std::string::npos) {
        EXPECT_THAT(text, testing::HasSubstr("It said: \"Device open failure"));
    }
}


// One driver connecting again and again: each connection asks for the
// option afresh and goes by its own answers, whatever the one before agreed
// to or refused; line settings count only when agreed and answered as asked.
TEST_F(CommFixture, Rfc2217LineSettingsAreNegotiatedAfreshOnEachConnection)
{
    LComm::SetPortOverride({});
    const QByteArray agree("\xff\xfd,"), refuse("\xff\xfe,");  // DO / DONT COM-PORT-CONTROL
    const struct { QByteArray agreement, settings; const char* why; bool hangUp = false; } cases[] = {
        {agree, Answers(8, 1), ""},
        {agree + "\r\nDevice open failure: No such\x01 file\r\n", {},
         "closed the connection before confirming the line settings: the device server could not open its serial "
         "port (in use, unplugged, or a wrong device in its configuration). It said: \"Device open failure: No such "
         "file\"",
         true},
        {agree, Answers(7, 3), "refused the line settings: asked for 9600 baud 8N1, it keeps 9600 baud 7E1"},
        {refuse, {}, "does not take line settings over telnet (RFC 2217)"},
        {agree, Answers(8, 1), ""},
        {refuse, {}, "does not take line settings over telnet (RFC 2217)"},
        {agree, {}, "did not confirm the line settings (9600 baud 8N1): either the device server cannot open its "
                    "serial port, or it does not take line settings"},
        {agree, Answers(8, 1), ""},
    };
    quint16 port = 0;
    const int listener = Listen(port);
    std::vector<QByteArray> heard(std::size(cases));
    std::thread server([&] {
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            Serve(listener, cases[i].agreement, cases[i].settings, &heard[i], cases[i].hangUp);
        }
    });
    LCommProc d(&owner);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(d.OpenNamed(QStringLiteral("rfc2217://127.0.0.1:%1").arg(port), comm::LineSettings{}), *c.why == '\0');
        EXPECT_EQ(d.LastOpenError().isEmpty(), *c.why == '\0');
        EXPECT_THAT(d.LastOpenError().toStdString(), testing::HasSubstr(c.why));
        d.Close();
    }
    server.join();
    ::close(listener);
    for (const QByteArray& h : heard) {
        EXPECT_TRUE(h.contains("\xff\xfb,")) << "WILL COM-PORT-CONTROL: " << h.toHex().constData();
    }
}
