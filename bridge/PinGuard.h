// A room panel's PIN, tried from a tablet on the wall: after a few wrong
// tries in a row the panel takes none for a while, so that the four digits
// cannot be run through from the network. Times are milliseconds of any
// steady clock.
#pragma once

#include <QString>
#include <QtGlobal>

class PinGuard {
public:
    static constexpr int kTries = 5;
    static constexpr qint64 kPauseMs = 60'000;

    enum class Verdict { Right, Wrong, Paused };

    Verdict Try(const QString& pin, const QString& given, qint64 nowMs);
    // Whole seconds until PINs are taken again (0: they are).
    int SecondsLeft(qint64 nowMs) const;

private:
    int wrong_ = 0;
    qint64 pausedUntil_ = 0;
};
