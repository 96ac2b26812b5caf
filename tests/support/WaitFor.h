// Test helper: wait for a condition with a deadline while Qt keeps running
// its event loop (replies, timers and posted events are delivered meanwhile).
// Tests synchronise with this, never with fixed sleeps.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>

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
