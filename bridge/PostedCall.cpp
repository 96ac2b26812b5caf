#include "PostedCall.h"

#include "EventHandoff.h"

#include <QCoreApplication>

namespace {
class CallEvent : public QEvent {
public:
    static QEvent::Type Kind()
    {
        static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
        return kind;
    }
    explicit CallEvent(std::function<void()> call) : QEvent(Kind()), call_(std::move(call)) {}
    void Run() { call_(); }

private:
    std::function<void()> call_;
};
}  // namespace

void PostCall(QObject* receiver, std::function<void()> call)
{
    auto* e = new CallEvent(std::move(call));
    comm::ReleaseEvent(e);
    QCoreApplication::postEvent(receiver, e);
}

bool RunPostedCall(QEvent* e)
{
    // Before anything of the event is read, even its type.
    comm::AcquireEvent(e);
    if (e->type() != CallEvent::Kind()) {
        return false;
    }
    static_cast<CallEvent*>(e)->Run();
    return true;
}
