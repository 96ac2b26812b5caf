#include "DeliverReply.h"

#include "LCommProc.h"

bool DeliverReply(QEvent* e, const std::function<LCommProc*()>& currentConnection,
                  const std::function<void(const RecCompleteEvent&)>& handle)
{
    if (e == nullptr || e->type() != kRecCompleteEvent) {
        return false;
    }
    const auto& reply = static_cast<const RecCompleteEvent&>(*e);
    const quint64 driverId = reply.DriverId();
    LCommProc* before = currentConnection ? currentConnection() : nullptr;
    if (before == nullptr || before->Id() != driverId) {
        return true;
    }
    if (handle) {
        handle(reply);
    }
    // Ids are never reused, so a driver created at the old address does not match.
    LCommProc* after = currentConnection();
    if (after != nullptr && after->Id() == driverId && after->IsOpen()) {
        after->Advance();
    }
    return true;
}
