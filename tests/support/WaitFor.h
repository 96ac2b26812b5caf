// Test helper: wait for a condition with a deadline while Qt keeps running
// its event loop (replies, timers and posted events are delivered meanwhile).
// Tests synchronise with this, never with fixed sleeps.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>

template <class Predicate>
bool WaitFor(Predicate&& done, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    while (!done()) {
        if (deadline.hasExpired()) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents();
        QThread::yieldCurrentThread();
    }
    return true;
}

// Milliseconds a call takes.
template <class Call>
qint64 Timed(Call&& call)
{
    QElapsedTimer clock;
    clock.start();
    call();
    return clock.elapsed();
}

// The longest this thread went without running its events, measured by a
// 10 ms timer while the meter lives: a thread that blocks shows here.
class StallMeter {
public:
    StallMeter()
    {
        clock_.start();
        QObject::connect(&tick_, &QTimer::timeout, [this] {
            longest_ = std::max(longest_, clock_.elapsed() - last_);
            last_ = clock_.elapsed();
        });
        tick_.start(10);
    }
    qint64 LongestMs() const { return longest_; }
    qint64 ElapsedMs() const { return clock_.elapsed(); }

private:
    QElapsedTimer clock_;
    QTimer tick_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};
