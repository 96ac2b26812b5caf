// Test helper: the far end of a serial line, made of a pseudo-terminal pair.
// The driver under test opens Path() (the slave) like any serial device; the
// test reads and writes the master side. The slave stays open here as well,
// so the master never sees a hang-up between two opens by the driver.
#pragma once

#include "Lcmd.h"

#include <string>

class PtyPeer {
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool Ok() const { return master_ >= 0 && !path_.empty(); }
    const std::string& Path() const { return path_; }
    int MasterFd() const { return master_; }  // the exchange benchmark's minimal loop reads it directly

    // Writes every byte (waits while the pty buffer is full).
    bool Write(const ByteVector& bytes);
    // Whatever has arrived, without waiting.
    ByteVector Read();
    // The device vanishes: the driver's next read fails.
    void CloseMaster();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};
