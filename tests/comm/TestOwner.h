// The owner window of a driver under test: records what the driver posts and
// delivers replies the way the main window does, through DeliverReply.
#pragma once

#include "CommEvents.h"
#include "DeliverReply.h"
#include "LCommProc.h"

#include <QObject>

#include <functional>
#include <vector>

class TestOwner : public QObject {
public:
    // The driver DeliverReply treats as the current connection.
    std::function<LCommProc*()> current = [] { return static_cast<LCommProc*>(nullptr); };
    // Runs inside the handling of each reply, after it was recorded.
    std::function<void(const RecCompleteEvent&)> onReply;

    std::vector<ByteVector> replies;
    std::vector<quint32> replyTimes;
    std::vector<int> errors;
    std::vector<std::uint8_t> rxChars;

    bool event(QEvent* e) override
    {
        if (e->type() == kCommErrEvent) {
            errors.push_back(static_cast<CommErrEvent*>(e)->Code());
            return true;
        }
        if (e->type() == kRxCharEvent) {
            rxChars.push_back(static_cast<RxCharEvent*>(e)->Byte());
            return true;
        }
        if (DeliverReply(e, current, [this](const RecCompleteEvent& r) {
                replies.push_back(r.Reply());
                replyTimes.push_back(r.ReplyTimeMs());
                if (onReply) {
                    onReply(r);
                }
            })) {
            return true;
        }
        return QObject::event(e);
    }
};
