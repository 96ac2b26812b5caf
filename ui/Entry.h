// Typed values: the parsers behind the gain edit boxes and the three
// preference edit boxes. Pure functions of the text, so they can be checked
// as tables and fuzzed; the handlers only apply the result to the controls.
#pragma once

#include <QString>

// A gain typed as decibels: an optional sign, digits with at most one ".",
// and an optional unit "dB" / "db" / "DB" / "Db" at the very end. The value is
// clamped to -79..0 and converted to a gain position (below -76: mute).
struct GainEntry {
    enum class Kind {
        Empty,    // nothing typed: nothing changes
        Invalid,  // restore the box from its fader
        Valid     // set the fader to `position` and send it
    };
    Kind kind = Kind::Empty;
    // The text after "-.5" was corrected to "-0.5" (written back into the box).
    QString corrected;
    int position = 0;
};
GainEntry ParseGainEntry(const QString& text);

// A preference typed as a whole number: an optional sign and digits; the
// digits after a decimal point are dropped ("100.9" is 100, ".5" is 0).
struct PrefEntry {
    enum class Kind {
        Empty,    // nothing typed: nothing changes
        Invalid,  // restore the box from its fader
        Valid     // `value`, not yet clamped to the box's range
    };
    Kind kind = Kind::Empty;
    int value = 0;
};
PrefEntry ParsePrefEntry(const QString& text);

// Ducking threshold: step 2..127 shown in millivolts, m(s) = s * 5500 / 255
// (43 .. 2739). A typed millivolt value is clamped to that range and takes the
// largest step whose millivolts do not exceed it.
int ThresholdMillivolts(int step);
int ThresholdStepFor(int millivolts);
