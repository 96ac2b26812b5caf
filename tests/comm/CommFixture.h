// Shared set-up of the driver tests: a pseudo-terminal peer that the driver
// reaches through the port override, and an owner that records what the
// driver posts and delivers replies as the main window does.
#pragma once

#include "CommEvents.h"
#include "DeliverReply.h"
#include "Hex.h"
#include "LCommProc.h"
#include "PtyPeer.h"
#include "WaitFor.h"

#include <gmock/gmock.h>

#include <functional>
#include <memory>

// "Promptly": far below the 8000 ms a stuck reader thread would cost, with
// room for a loaded machine and sanitiser builds.
inline constexpr int kPromptMs = 2000;

class TestOwner : public QObject {
public:
    std::function<LCommProc*()> current = [] { return static_cast<LCommProc*>(nullptr); };
    std::function<void(const RecCompleteEvent&)> onReply;  // runs inside the handling of each reply
    std::vector<ByteVector> replies;
    std::vector<int> errors;

    bool event(QEvent* e) override
    {
        if (e->type() == kCommErrEvent) {
            errors.push_back(static_cast<CommErrEvent*>(e)->Code());
            return true;
        }
        return DeliverReply(e, current, [this](const RecCompleteEvent& r) {
            replies.push_back(r.Reply());
            if (onReply) {
                onReply(r);
            }
        }) || QObject::event(e);
    }
};

class CommFixture : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.Ok());
        LComm::SetPortOverride(QString::fromStdString(peer.Path()));
    }
    void TearDown() override { LComm::SetPortOverride({}); }

    // The driver the owner treats as its connection, open.
    LCommProc& OpenDriver(int silenceLimitMs = 8000)
    {
        driver = std::make_unique<LCommProc>(&owner);
        owner.current = [this] { return driver.get(); };
        driver->SetSilenceLimitMs(silenceLimitMs);
        EXPECT_TRUE(driver->Open(1, 9600, 8, 0, 0));
        return *driver;
    }

    // Collects bytes from the peer until n have arrived (or the deadline).
    ByteVector ReadPeer(std::size_t n, int timeoutMs = 3000)
    {
        WaitFor([&] {
            const ByteVector got = peer.Read();
            fromLine.insert(fromLine.end(), got.begin(), got.end());
            return fromLine.size() >= n;
        }, timeoutMs);
        const auto take = static_cast<std::ptrdiff_t>(std::min(n, fromLine.size()));
        ByteVector out(fromLine.begin(), fromLine.begin() + take);
        fromLine.erase(fromLine.begin(), fromLine.begin() + take);
        return out;
    }
    bool PeerHearsAnything(int windowMs) { return !ReadPeer(1, windowMs).empty(); }
    // The reader ended by itself: one error, the port closed and refusing
    // writes, and closing is prompt and adds nothing.
    void ExpectEndedOnce(const testing::Matcher<int>& error)
    {
        ASSERT_TRUE(WaitFor([&] { return !owner.errors.empty(); }));
        EXPECT_FALSE(driver->IsOpen());
        EXPECT_TRUE(WaitFor([&] { return !driver->ReaderRunning(); }));
        EXPECT_FALSE(driver->Write(Hex("01")));
        EXPECT_LT(Timed([&] { driver->Close(); }), kPromptMs);
        EXPECT_FALSE(WaitFor([&] { return owner.errors.size() > 1; }, 300));
        EXPECT_THAT(owner.errors, testing::ElementsAre(error));
    }

    static ByteVector Frame(std::uint8_t sub) { return LCmd(0x01, sub).MakeFrame(frame::kModeFramed); }
    static ByteVector Ack() { return Frame(0x01); }

    PtyPeer peer;
    TestOwner owner;
    std::unique_ptr<LCommProc> driver;
    ByteVector fromLine;
};
