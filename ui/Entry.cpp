#include "Entry.h"

#include "Mroutine.h"

#include <algorithm>
#include <climits>

namespace {
constexpr int kMinTypedDb = -79;
constexpr int kMaxTypedDb = 0;
constexpr int kMinStep = 2;
constexpr int kMaxStep = 127;

// 1-based position of the first occurrence, 0 when absent.
qsizetype FirstPos(const QString& text, const QString& what)
{
    return text.indexOf(what) + 1;
}
qsizetype FirstPos(const QString& text, QChar what)
{
    return text.indexOf(what) + 1;
}

bool SignMisplaced(const QString& t)
{
    return FirstPos(t, QLatin1Char('+')) >= 2 || FirstPos(t, QLatin1Char('-')) >= 2;
}

bool StartsWithSign(const QString& t)
{
    return !t.isEmpty() && (t.front() == QLatin1Char('+') || t.front() == QLatin1Char('-'));
}
}  // namespace

GainEntry ParseGainEntry(const QString& text)
{
    GainEntry r;
    QString t = text;
    if (t.size() >= 2 && t.at(1) == QLatin1Char('.')) {
        t.insert(1, QLatin1Char('0'));  // "-.5" -> "-0.5"
    }
    r.corrected = t;
    if (t.isEmpty()) {
        return r;
    }
    r.kind = GainEntry::Kind::Invalid;

    // A unit is allowed once, at the very end.
    qsizetype length = t.size();
    const bool hasUnitLetter = std::any_of(t.begin(), t.end(), [](QChar c) {
        return c == QLatin1Char('d') || c == QLatin1Char('D') || c == QLatin1Char('b') || c == QLatin1Char('B');
    });
    if (hasUnitLetter) {
        const qsizetype sum = FirstPos(t, QStringLiteral("db")) + FirstPos(t, QStringLiteral("DB"))
            + FirstPos(t, QStringLiteral("Db")) + FirstPos(t, QStringLiteral("dB"));
        if (sum != length - 1) {
            return r;
        }
        length -= 2;
    }
    if (SignMisplaced(t)) {
        return r;
    }

    QString collected;
    QStringView number(t);
    if (StartsWithSign(t)) {
        collected = t.front();
        number = number.mid(1, length - 1);
    } else {
        number = number.left(length);
    }
    bool dot = false;
    bool digit = false;
    for (QChar c : number) {
        if (c.isDigit() && c.unicode() < 128) {
            digit = true;
        } else if (c == QLatin1Char('.')) {
            if (dot) {
                return r;
            }
            dot = true;
        } else {
            return r;
        }
        collected += c;
    }
    if (!digit) {
        return r;
    }
    // QString reads "." as the decimal point whatever the locale.
    double v = collected.toDouble();
    v = std::clamp(v, static_cast<double>(kMinTypedDb), static_cast<double>(kMaxTypedDb));
    r.kind = GainEntry::Kind::Valid;
    r.position = DbToPosition(v);
    return r;
}

PrefEntry ParsePrefEntry(const QString& t)
{
    PrefEntry r;
    if (t.isEmpty()) {
        return r;
    }
    r.kind = PrefEntry::Kind::Invalid;
    if (SignMisplaced(t)) {
        return r;
    }
    const bool sign = StartsWithSign(t);
    const bool negative = sign && t.front() == QLatin1Char('-');
    const QStringView number = QStringView(t).mid(sign ? 1 : 0);
    if (number.isEmpty()) {
        return r;
    }
    long long value = 0;
    bool dot = false;
    for (qsizetype i = 0; i < number.size(); ++i) {
        const QChar c = number.at(i);
        if (c == QLatin1Char('.')) {
            dot = true;
        } else if (c.isDigit() && c.unicode() < 128) {
            // Only the whole part counts; saturate so no text can overflow.
            if (!dot) {
                value = std::min<long long>(value * 10 + c.digitValue(), INT_MAX);
            }
        } else {
            return r;
        }
    }
    r.kind = PrefEntry::Kind::Valid;
    r.value = static_cast<int>(negative ? -value : value);
    return r;
}

int ThresholdMillivolts(int step)
{
    return step * 5500 / 255;
}

int ThresholdStepFor(int millivolts)
{
    const int v = std::clamp(millivolts, ThresholdMillivolts(kMinStep), ThresholdMillivolts(kMaxStep));
    int step = kMinStep;
    while (step < kMaxStep && ThresholdMillivolts(step + 1) <= v) {
        ++step;
    }
    return step;
}
