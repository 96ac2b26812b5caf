// Any text a user can type or paste goes through both entry parsers. Whatever
// it holds: a valid gain is a fader position 0..79, a valid preference maps
// to a threshold step 2..127 that is the largest one not above the value,
// and an empty text is the only "nothing typed".
#include "Entry.h"
#include "FuzzCheck.h"

#include <QString>

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto* chars = reinterpret_cast<const char*>(data);
    const auto length = static_cast<qsizetype>(size);
    for (const QString& text : {QString::fromUtf8(chars, length), QString::fromLatin1(chars, length)}) {
        const GainEntry g = ParseGainEntry(text);
        Require((g.kind == GainEntry::Kind::Empty) == text.isEmpty());
        Require(g.kind != GainEntry::Kind::Valid || (g.position >= 0 && g.position <= 79));
        // The only correction is a "0" before a dot in the second place.
        const bool dotSecond = text.size() >= 2 && text.at(1) == QLatin1Char('.');
        Require(g.corrected == (dotSecond ? text.left(1) + QLatin1Char('0') + text.mid(1) : text));

        const PrefEntry p = ParsePrefEntry(text);
        Require((p.kind == PrefEntry::Kind::Empty) == text.isEmpty());
        if (p.kind != PrefEntry::Kind::Valid) {
            continue;
        }
        const int step = ThresholdStepFor(p.value);
        Require(step >= 2 && step <= 127);
        const int mv = std::clamp(p.value, ThresholdMillivolts(2), ThresholdMillivolts(127));
        Require(ThresholdMillivolts(step) <= mv);
        Require(step == 127 || ThresholdMillivolts(step + 1) > mv);
    }
    return 0;
}
