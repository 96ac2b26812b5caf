// Waiting on one thread for something its own events bring (a reply, an
// error): runs a local event loop until done() holds or the deadline passes.
// Wake(), called from an event handler, ends the current round at once so
// that done() is looked at again.
#pragma once

#include <functional>

class QEventLoop;

namespace comm {

class EventWait {
public:
    // timeoutMs < 0: no deadline. False when the deadline passed first.
    bool Until(const std::function<bool()>& done, int timeoutMs);
    void Wake();

private:
    QEventLoop* loop_ = nullptr;
};

}  // namespace comm
