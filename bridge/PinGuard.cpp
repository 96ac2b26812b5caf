#include "PinGuard.h"

#include "Access.h"

PinGuard::Verdict PinGuard::Try(const QString& pin, const QString& given, qint64 nowMs)
{
    if (nowMs < pausedUntil_) {
        return Verdict::Paused;  // not even the right one: the pause would tell it
    }
    if (!pin.isEmpty() && TokenMatches(given, pin)) {
        wrong_ = 0;
        return Verdict::Right;
    }
    if (++wrong_ >= kTries) {
        wrong_ = 0;
        pausedUntil_ = nowMs + kPauseMs;
    }
    return Verdict::Wrong;
}

int PinGuard::SecondsLeft(qint64 nowMs) const
{
    return nowMs >= pausedUntil_ ? 0 : static_cast<int>((pausedUntil_ - nowMs + 999) / 1000);
}
