// Shared set-up of the driver tests: a pseudo-terminal peer that the
// driver reaches through the port override, and an owner for its events.
#pragma once

#include "Hex.h"
#include "LCommProc.h"
#include "PtyPeer.h"
#include "TestOwner.h"
#include "WaitFor.h"

#include <gmock/gmock.h>

#include <memory>

// "Promptly": far below the 8000 ms a stuck reader thread would cost, with
// room for a loaded machine and sanitiser builds.
inline constexpr int kPromptMs = 2000;

class CommFixture : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.Ok());
        LComm::SetPortOverride(QString::fromStdString(peer.Path()));
    }
    void TearDown() override { LComm::SetPortOverride({}); }

    // The driver the owner treats as its connection.
    LCommProc& MakeDriver()
    {
        driver = std::make_unique<LCommProc>(&owner);
        owner.current = [this] { return driver.get(); };
        return *driver;
    }
    bool OpenDriver(bool pollSuspended = true)
    {
        driver->SetPollSuspended(pollSuspended);
        return driver->Open(1, 9600, 8, 0, 0);
    }

    // Collects bytes from the peer until n have arrived (or the deadline).
    ByteVector ReadPeer(std::size_t n, int timeoutMs = 3000)
    {
        WaitFor(
            [&] {
                const ByteVector got = peer.Read();
                fromLine.insert(fromLine.end(), got.begin(), got.end());
                return fromLine.size() >= n;
            },
            timeoutMs);
        const std::size_t take = std::min(n, fromLine.size());
        ByteVector out(fromLine.begin(), fromLine.begin() + static_cast<std::ptrdiff_t>(take));
        fromLine.erase(fromLine.begin(), fromLine.begin() + static_cast<std::ptrdiff_t>(take));
        return out;
    }
    // True when anything at all arrives within the window.
    bool PeerHearsAnything(int windowMs) { return !ReadPeer(1, windowMs).empty(); }

    static ByteVector Frame(std::uint8_t sub) { return LCmd(0x01, sub).MakeFrame(frame::kModeFramed); }
    static ByteVector Ack() { return Frame(0x01); }

    PtyPeer peer;
    TestOwner owner;
    std::unique_ptr<LCommProc> driver;
    ByteVector fromLine;
};
