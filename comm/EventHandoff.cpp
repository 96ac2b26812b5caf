#include "EventHandoff.h"

#if defined(__SANITIZE_THREAD__)

#include <QCoreApplication>
#include <QObject>
#include <QThread>

extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);

namespace comm {
namespace {

// Application filters see an event before the receiver's event() does.
class AcquireFilter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override
    {
        AcquireEvent(e);
        return false;
    }
};

}  // namespace

void ReleaseEvent(const QEvent* e)
{
    __tsan_release(const_cast<QEvent*>(e));
}

void AcquireEvent(const QEvent* e)
{
    __tsan_acquire(const_cast<QEvent*>(e));
}

void WatchMainThreadEvents()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() != app->thread()) {
        return;
    }
    static AcquireFilter* const filter = [app] {
        auto* f = new AcquireFilter;
        app->installEventFilter(f);
        return f;
    }();
    (void)filter;
}

}  // namespace comm

#endif
