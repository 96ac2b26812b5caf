// Log lines for refused input, at most `burst` in each window: a flood of
// junk packets must not fill the journal. The first line after a window
// with held-back lines says how many were left out.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include <optional>

class RefusalLog {
public:
    explicit RefusalLog(int burst = 10, qint64 windowMs = 10000) : burst_(burst), windowMs_(windowMs) { clock_.start(); }

    // The line to write for `line` at `nowMs` (monotonic), or nothing.
    std::optional<QString> Take(const QString& line, qint64 nowMs)
    {
        if (nowMs - windowStart_ >= windowMs_) {
            windowStart_ = nowMs;
            written_ = 0;
        }
        if (written_ >= burst_) {
            ++held_;
            return std::nullopt;
        }
        ++written_;
        if (held_ == 0) {
            return line;
        }
        const QString out = QStringLiteral("%1 (and %2 more refused before it, not logged)").arg(line).arg(held_);
        held_ = 0;
        return out;
    }
    // Writes `line` as a warning, if it is let through now.
    void Write(const QString& line)
    {
        if (auto out = Take(line, clock_.elapsed())) {
            qWarning("%s", qPrintable(*out));
        }
    }

private:
    int burst_;
    qint64 windowMs_;
    qint64 windowStart_ = 0;
    int written_ = 0;
    qint64 held_ = 0;
    QElapsedTimer clock_;
};
