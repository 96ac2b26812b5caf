// The simulated device's loopback line on Windows, seen from a client as the
// panel's tcp:// port sees it.
#include "Commands.h"
#include "KestraSim.h"
#include "SimTestUtil.h"

#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <string>

using namespace std::chrono_literals;

namespace {

const LCmd kPoll = CM_MCS_POLLING(sub::kPoll);
const std::string kAck = R("01");

struct Winsock {
    Winsock() { WSAStartup(MAKEWORD(2, 2), &data); }
    ~Winsock() { WSACleanup(); }
    WSADATA data{};
};

// One end of the line: a TCP client of "tcp://127.0.0.1:PORT".
class Client {
public:
    explicit Client(const std::string& path)
    {
        const auto colon = path.rfind(':');
        if (path.rfind("tcp://127.0.0.1:", 0) != 0 || colon == std::string::npos) {
            return;
        }
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<u_short>(std::stoul(path.substr(colon + 1))));
        s_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (connect(s_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            closesocket(s_);
            s_ = INVALID_SOCKET;
        }
    }
    ~Client()
    {
        if (s_ != INVALID_SOCKET) {
            closesocket(s_);
        }
    }
    bool Connected() const { return s_ != INVALID_SOCKET; }
    void Write(const ByteVector& bytes)
    {
        send(s_, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0);
    }
    // Up to `count` bytes within the time; fewer when the line stays quiet,
    // and `closed` set when the device ended the connection.
    ByteVector Read(std::size_t count, std::chrono::milliseconds within = 2s)
    {
        ByteVector out;
        const auto end = std::chrono::steady_clock::now() + within;
        while (out.size() < count && Connected()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                break;
            }
            WSAPOLLFD fd{s_, POLLRDNORM, 0};
            if (WSAPoll(&fd, 1, static_cast<int>(left.count())) <= 0) {
                break;
            }
            char b[256];
            const int n = recv(s_, b, static_cast<int>(std::min<std::size_t>(sizeof b, count - out.size())), 0);
            if (n <= 0) {
                closed = true;
                break;
            }
            out.insert(out.end(), b, b + n);
        }
        return out;
    }
    ByteVector Exchange(const LCmd& cmd)
    {
        Write(cmd.MakeFrame(1));
        return Read(Framed("01").size());
    }
    bool closed = false;

private:
    SOCKET s_ = INVALID_SOCKET;
};

TEST(LoopbackLine, AnswersOnALoopbackPortAndTheNewestClientHoldsTheLine)
{
    Winsock winsock;
    sim::KestraSim device;
    const std::string path = device.Start();
    ASSERT_EQ(path.rfind("tcp://127.0.0.1:", 0), 0u) << path;
    Client first(path);
    ASSERT_TRUE(first.Connected());
    EXPECT_EQ(ToHex(first.Exchange(kPoll)), kAck);
    // A panel that reopens its port connects again: the new connection is
    // the line, the old one is closed rather than left half-served.
    Client second(path);
    ASSERT_TRUE(second.Connected());
    EXPECT_EQ(ToHex(second.Exchange(kPoll)), kAck);
    EXPECT_TRUE(first.Read(1, 1s).empty());
    EXPECT_TRUE(first.closed);
    EXPECT_EQ(device.ReceivedCount(), 2u);
}

TEST(LoopbackLine, VanishesAndComesBackOnTheSamePort)
{
    Winsock winsock;
    sim::KestraSim device;
    const std::string path = device.Start();
    Client before(path);
    ASSERT_TRUE(before.Connected());
    device.Vanish();
    EXPECT_TRUE(device.Vanished());
    EXPECT_TRUE(before.Read(1, 1s).empty());
    EXPECT_TRUE(before.closed) << "an unplugged device hangs up its client";
    EXPECT_FALSE(Client(path).Connected()) << "nothing listens while the device is away";
    EXPECT_EQ(device.Reappear(), path);
    Client after(path);
    ASSERT_TRUE(after.Connected());
    EXPECT_EQ(ToHex(after.Exchange(kPoll)), kAck);
}

TEST(LoopbackLine, WireSpeedPacesTheReply)
{
    Winsock winsock;
    sim::SimOptions options;
    options.wireSpeed = true;
    sim::KestraSim device(options);
    Client line(device.Start());
    ASSERT_TRUE(line.Connected());
    // 10 bytes out and 10 back at 9600 baud take at least 20 ms.
    const auto begin = std::chrono::steady_clock::now();
    line.Write(CM_MCS_INQUIRY(2, 0).MakeFrame(1));
    ASSERT_EQ(line.Read(10).size(), 10u);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 20ms);
}

TEST(LoopbackLine, ARealSerialDeviceIsNotServed)
{
    Winsock winsock;
    sim::SimOptions options;
    options.device = "COM1";
    sim::KestraSim device(options);
    EXPECT_EQ(device.Start(), "");
}

}  // namespace
