// Test helper: the far end of a serial line, made of a pseudo-terminal pair.
// The driver under test opens Path() (the slave) like any serial device; the
// test reads and writes the master side, by hand or through a responder
// thread. The slave stays open here as well, so the master never sees a
// hang-up between two opens by the driver.
#pragma once

#include "Lcmd.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class PtyPeer {
public:
    // Given each chunk read from the line; returns the bytes to answer with.
    using Answer = std::function<ByteVector(const ByteVector& chunk)>;

    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool Ok() const { return master_ >= 0; }
    const std::string& Path() const { return path_; }
    int MasterFd() const { return master_; }
    // The slave's current output speed as the driver configured it (B9600 ...).
    unsigned SlaveSpeed() const;

    // Writes every byte (waits while the pty buffer is full).
    bool Write(const ByteVector& bytes);
    // Whatever has arrived, without waiting (not while a responder runs).
    ByteVector Read();

    // Answers on its own thread until StopResponder or destruction.
    void StartResponder(Answer answer);
    void StopResponder();
    // Everything the responder has read so far.
    ByteVector Received() const;

    // The device vanishes: the driver's next read fails.
    void CloseMaster();

private:
    void Respond(const Answer& answer);

    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::thread responder_;
    std::atomic<bool> stop_{false};
    mutable std::mutex receivedMutex_;
    ByteVector received_;
};

// Splits a byte stream into frames by DLE STX and the length byte, the way
// the device reads the line. Bytes outside a frame are skipped.
class FrameSplitter {
public:
    // Adds bytes; returns the frames they completed.
    std::vector<ByteVector> Add(const ByteVector& bytes);

private:
    ByteVector pending_;
};

// An Answer that acknowledges every complete frame with 10 02 01 01 01 10 03 00.
PtyPeer::Answer AckEveryFrame();
