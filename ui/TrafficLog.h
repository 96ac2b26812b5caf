// Writes one line per frame into the message window's memo. Sent frames are
// left out while "show rx only" is selected; acknowledgements and polls are
// never written. With "decoded" ticked a line adds its time and meaning.
#pragma once

#include "LogLine.h"

class TfrmMsg;

class TrafficLog {
public:
    explicit TrafficLog(TfrmMsg& window) : window_(window) {}
    void LogFrame(const LCmd& frame, Direction direction, quint32 replyTime);

private:
    TfrmMsg& window_;
};
