// Any room panel file, and any change sent to a panel: a file is refused
// with the line and column of its fault (inside the text) or read into a
// panel whose limits are in order; a change a panel takes names only what
// it shows, and leaves every gain it names within that control's limits.
#include "BridgeServer.h"
#include "FuzzCheck.h"
#include "RoomPanel.h"
#include "StateJson.h"
#include "ValidState.h"

#include <QRegularExpression>

namespace {
// Members that carry a value (an empty object names nothing).
int Leaves(const QJsonObject& o)
{
    int n = 0;
    for (auto it = o.begin(); it != o.end(); ++it) {
        n += it.value().isObject() ? Leaves(it.value().toObject()) : 1;
    }
    return n;
}

const RoomPanel& Hall()
{
    static const RoomPanel hall = [] {
        RoomPanel p;
        Require(!ParseRoomPanel(R"({"name": "hall", "controls": [
            {"gain": "mic1", "label": "Lectern", "min_db": -40, "max_db": -6},
            {"mute": "mic2", "label": "Radio mic"},
            {"line_source": ["cd", "off"], "label": "Music"},
            {"gain": ["master_left", "master_right"], "label": "Volume", "max_db": -10},
            {"preset": 2, "label": "Concert"},
            {"ducking": "manual", "label": "Speech first"}]})", {}, p));
        return p;
    }();
    return hall;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    RoomPanel panel;
    if (const auto error = ParseRoomPanel(bytes, QStringLiteral("room"), panel)) {
        static const QRegularExpression place(QStringLiteral("^line (\\d+), column (\\d+): "));
        const auto m = place.match(*error);
        Require(m.hasMatch() && m.captured(1).toInt() >= 1 && m.captured(1).toInt() <= bytes.count('\n') + 1 &&
                m.captured(2).toInt() >= 1 && error->size() > m.capturedLength());  // and a reason
    } else {
        Require(!panel.controls.empty());
        for (const RoomControl& c : panel.controls) {
            Require(!c.label.isEmpty() && c.top <= c.bottom);
        }
    }

    QJsonObject patch;
    if (ParsePatch(bytes, patch) || Hall().CheckPatch(patch, ValidState())) {
        return 0;
    }
    Require(Leaves(Hall().Filter(patch)) == Leaves(patch));  // the filter only takes away
    DeviceState after = ValidState();
    ItemSet named;
    Require(!MergeStateJson(patch, after, false, &named));
    for (const RoomControl& c : Hall().controls) {
        for (int index : c.channels) {
            const int p = after.gain[static_cast<std::size_t>(index)];
            Require(c.kind != RoomControl::Kind::Gain || !named.test(item::Gain(index)) || (p >= c.top && p <= c.bottom));
        }
    }
    return 0;
}
