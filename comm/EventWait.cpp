#include "EventWait.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace comm {

bool EventWait::Until(const std::function<bool()>& done, int timeoutMs)
{
    const QDeadlineTimer deadline = timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                  : QDeadlineTimer(timeoutMs, Qt::PreciseTimer);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QEventLoop loop;
        loop_ = &loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        if (!deadline.isForever()) {
            timer.start(static_cast<int>(std::max<qint64>(0, deadline.remainingTime())));
        }
        loop.exec();
        loop_ = nullptr;
    }
    return true;
}

void EventWait::Wake()
{
    if (loop_ != nullptr) {
        loop_->quit();
    }
}

}  // namespace comm
