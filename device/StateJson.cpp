#include "StateJson.h"

#include "ItemKeys.h"
#include "Mroutine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>

namespace {
const char* const kFormat = "kestra-state";
constexpr int kVersion = 1;
template <std::size_t N>
QStringList Names(const std::array<const char*, N>& keys)
{
    QStringList names;
    for (const char* k : keys) {
        names << QLatin1String(k);
    }
    return names;
}

const QStringList kLineSources = Names(kLineSourceKeys);
const QStringList kSwitchOn = Names(kSwitchOnKeys);

// By DuckSetting; the limits the device accepts.
constexpr DuckRange kDuckRanges[kDuckSettings] = {{kDuckSettingKeys[0], 2, 127},
                                                  {kDuckSettingKeys[1], 0, 79},
                                                  {kDuckSettingKeys[2], 1, 100},
                                                  {kDuckSettingKeys[3], 0, 63},
                                                  {kDuckSettingKeys[4], 0, 63}};
constexpr int kMaxPosition = 79;

using Error = std::optional<QString>;

QString Shown(const QJsonValue& v)
{
    if (v.isString()) {
        return QStringLiteral("\"%1\"").arg(v.toString());
    }
    QJsonArray wrap{v};
    QByteArray text = QJsonDocument(wrap).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(text.mid(1, text.size() - 2));
}

Error Bad(const QString& path, const QJsonValue& v, const QString& allowed)
{
    return QStringLiteral("%1: %2 is not allowed (%3)").arg(path, Shown(v), allowed);
}

Error Unknown(const QString& path, const QStringList& keys)
{
    return QStringLiteral("%1: unknown key (allowed: %2)").arg(path, keys.join(QStringLiteral(", ")));
}

Error Bool(const QString& path, const QJsonValue& v, bool& out)
{
    if (!v.isBool()) {
        return Bad(path, v, QStringLiteral("true or false"));
    }
    out = v.toBool();
    return std::nullopt;
}

Error Int(const QString& path, const QJsonValue& v, int lo, int hi, std::uint8_t& out)
{
    const double d = v.toDouble(-1e9);
    if (!v.isDouble() || d != std::floor(d) || d < lo || d > hi) {
        return Bad(path, v, QStringLiteral("a whole number %1..%2").arg(lo).arg(hi));
    }
    out = static_cast<std::uint8_t>(d);
    return std::nullopt;
}

Error Name(const QString& path, const QJsonValue& v, const QStringList& names, std::uint8_t& out)
{
    const int i = v.isString() ? names.indexOf(v.toString()) : -1;
    if (i < 0) {
        return Bad(path, v, names.join(QStringLiteral(", ")));
    }
    out = static_cast<std::uint8_t>(i);
    return std::nullopt;
}

Error GainDb(const QString& path, const QJsonValue& v, std::uint8_t& out)
{
    if (v.isNull()) {
        out = kMutePosition;
        return std::nullopt;
    }
    const double d = v.toDouble(1.0);
    const int p = v.isDouble() && d <= 0.0 && d >= -76.0 ? DbToPosition(d) : -1;
    if (v.isDouble() && d < 0.0 && d > -76.0 && (p < 0 || PositionToDb(p) != d)) {
        // Between two levels of the scale: name them, so that one can be picked.
        for (int q = 0; q + 1 < kMutePosition; ++q) {
            if (PositionToDb(q) > d && PositionToDb(q + 1) < d) {
                return QStringLiteral("%1: %2 is not a level of the gain scale; the nearest are %3 and %4")
                    .arg(path, Shown(v))
                    .arg(PositionToDb(q))
                    .arg(PositionToDb(q + 1));
            }
        }
    }
    if (p < 0 || p >= kMutePosition || PositionToDb(p) != d) {
        return Bad(path, v,
                   QStringLiteral("a level of the gain scale: 0 to -16 in steps of 0.5, -17 to -48 in steps "
                                  "of 1, -50 to -76 in steps of 2, or null for mute"));
    }
    out = static_cast<std::uint8_t>(p);
    return std::nullopt;
}

Error Channel(const QString& path, const QJsonValue& v, int index, DeviceState& s, ItemSet& named)
{
    const bool mic = index >= kFirstMicIndex;
    QStringList keys{"position", "gain_db", "mute"};
    if (mic) {
        keys << QStringLiteral("priority");
    }
    if (!v.isObject()) {
        return Bad(path, v, QStringLiteral("an object with %1").arg(keys.join(QStringLiteral(", "))));
    }
    const QJsonObject o = v.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (!keys.contains(it.key())) {
            return Unknown(path + QLatin1Char('.') + it.key(), keys);
        }
    }
    // Both members name one level; every backup holds both. Each is checked,
    // and when both are given they must agree: a file edited in one of them
    // only would otherwise have the edit ignored while reporting success.
    const bool hasPosition = o.contains(QLatin1String("position"));
    const bool hasDb = o.contains(QLatin1String("gain_db"));
    std::uint8_t position = s.gain[index];
    std::uint8_t fromDb = position;
    Error e;
    if (hasPosition) {
        e = Int(path + QStringLiteral(".position"), o.value(QLatin1String("position")), 0, kMaxPosition, position);
    }
    if (!e && hasDb) {
        e = GainDb(path + QStringLiteral(".gain_db"), o.value(QLatin1String("gain_db")), fromDb);
    }
    if (!e && hasPosition && hasDb && position != fromDb) {
        const QString level = position >= kMutePosition ? QStringLiteral("mute")
                                                        : QStringLiteral("%1 dB").arg(PositionToDb(position));
        e = QStringLiteral("%1: position %2 (%3) and gain_db %4 disagree: change both, or remove one")
                .arg(path)
                .arg(position)
                .arg(level, Shown(o.value(QLatin1String("gain_db"))));
    }
    if (!e && (hasPosition || hasDb)) {
        s.gain[index] = hasPosition ? position : fromDb;
        named.set(item::Gain(index));
    }
    if (!e && o.contains(QLatin1String("mute"))) {
        bool b = false;
        e = Bool(path + QStringLiteral(".mute"), o.value(QLatin1String("mute")), b);
        s.mute[index] = b;
        named.set(item::Mute(index));
    }
    if (!e && mic && o.contains(QLatin1String("priority"))) {
        bool b = false;
        e = Bool(path + QStringLiteral(".priority"), o.value(QLatin1String("priority")), b);
        s.priority[index - kFirstMicIndex] = b;
        named.set(item::Priority(index - kFirstMicIndex));
    }
    return e;
}

QStringList ChannelNames()
{
    QStringList names;
    for (int i = 0; i < kStateChannels; ++i) {
        names << QString::fromLatin1(StateChannelName(i));
    }
    return names;
}

Error Channels(const QJsonValue& v, DeviceState& s, ItemSet& named)
{
    const QStringList names = ChannelNames();
    if (!v.isObject()) {
        return Bad(QStringLiteral("channels"), v, QStringLiteral("an object of ") + names.join(QStringLiteral(", ")));
    }
    const QJsonObject o = v.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        const int i = names.indexOf(it.key());
        if (i < 0) {
            return Unknown(QStringLiteral("channels.") + it.key(), names);
        }
        if (Error e = Channel(QStringLiteral("channels.") + it.key(), it.value(), i, s, named)) {
            return e;
        }
    }
    return std::nullopt;
}

Error Pairs(const QJsonValue& v, DeviceState& s, ItemSet& named)
{
    const QStringList keys{"sub", "master"};
    if (!v.isObject()) {
        return Bad(QStringLiteral("ganged"), v, QStringLiteral("an object with sub, master"));
    }
    const QJsonObject o = v.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString path = QStringLiteral("ganged.") + it.key();
        if (!keys.contains(it.key())) {
            return Unknown(path, keys);
        }
        const bool sub = it.key() == keys[0];
        if (Error e = Bool(path, it.value(), sub ? s.subGanged : s.masterGanged)) {
            return e;
        }
        named.set(sub ? item::kSubGanged : item::kMasterGanged);
    }
    return std::nullopt;
}

Error Ducking(const QJsonValue& v, DeviceState& s, ItemSet& named)
{
    QStringList keys{"manual", "active"};
    for (const DuckRange& r : kDuckRanges) {
        keys << QString::fromLatin1(r.key);
    }
    if (!v.isObject()) {
        return Bad(QStringLiteral("ducking"), v, QStringLiteral("an object with ") + keys.join(QStringLiteral(", ")));
    }
    const QJsonObject o = v.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString path = QStringLiteral("ducking.") + it.key();
        const int k = keys.indexOf(it.key());
        bool ignored = false;
        Error e;
        if (k < 0) {
            e = Unknown(path, keys);
        } else if (k == 0) {
            e = Bool(path, it.value(), s.manualDucking);
            named.set(item::kDuckState);
        } else if (k == 1) {
            e = Bool(path, it.value(), ignored);  // read-only: checked, never applied
        } else {
            const DuckRange& r = kDuckRanges[k - 2];
            e = Int(path, it.value(), r.lo, r.hi, s.ducking[k - 2]);
            named.set(item::Ducking(k - 2));
        }
        if (e) {
            return e;
        }
    }
    return std::nullopt;
}
}  // namespace

std::optional<QString> ReadGainDb(const QString& path, const QJsonValue& value, std::uint8_t& position)
{
    return GainDb(path, value, position);
}

const QStringList& LineSourceNames()
{
    return kLineSources;
}

const DuckRange& DuckSettingRange(int setting)
{
    return kDuckRanges[setting];
}

QJsonObject StateToJson(const DeviceState& s)
{
    QJsonObject channels;
    for (int i = 0; i < kStateChannels; ++i) {
        QJsonObject c;
        c.insert(QStringLiteral("position"), s.gain[i]);
        c.insert(QStringLiteral("gain_db"), s.gain[i] >= kMutePosition ? QJsonValue() : QJsonValue(PositionToDb(s.gain[i])));
        c.insert(QStringLiteral("mute"), s.mute[i]);
        if (i >= kFirstMicIndex) {
            c.insert(QStringLiteral("priority"), s.priority[i - kFirstMicIndex]);
        }
        channels.insert(QString::fromLatin1(StateChannelName(i)), c);
    }
    QJsonObject ducking{{"manual", s.manualDucking}, {"active", s.duckingActive}};
    for (int k = 0; k < kDuckSettings; ++k) {
        ducking.insert(QString::fromLatin1(kDuckRanges[k].key), s.ducking[k]);
    }
    return QJsonObject{
        {"format", kFormat},
        {"version", kVersion},
        {"channels", channels},
        {"ganged", QJsonObject{{"sub", s.subGanged}, {"master", s.masterGanged}}},
        {"line_source", s.lineSource < kLineSources.size() ? kLineSources[s.lineSource] : kLineSources[0]},
        {"ducking", ducking},
        {"switch_on", kSwitchOn[s.switchOn & 3]},
    };
}

std::optional<QString> MergeStateJson(const QJsonObject& json, DeviceState& state, bool wholeFile, ItemSet* named)
{
    const QStringList keys{"format", "version", "channels", "ganged", "line_source", "ducking", "switch_on"};
    // A file written by hand may hold only some items and leave out the
    // header; one that names a header must name this one.
    const bool hasFormat = json.contains(QLatin1String("format"));
    const bool hasVersion = json.contains(QLatin1String("version"));
    if (wholeFile && hasFormat && json.value(QLatin1String("format")) != QJsonValue(QLatin1String(kFormat))) {
        return Bad(QStringLiteral("format"), json.value(QLatin1String("format")), QStringLiteral("\"kestra-state\""));
    }
    if (wholeFile && hasVersion && json.value(QLatin1String("version")) != QJsonValue(kVersion)) {
        return Bad(QStringLiteral("version"), json.value(QLatin1String("version")), QStringLiteral("1"));
    }
    DeviceState s = state;
    ItemSet n;
    for (auto it = json.begin(); it != json.end(); ++it) {
        const QString& k = it.key();
        Error e;
        if (!keys.contains(k)) {
            e = Unknown(k, keys);
        } else if (k == QLatin1String("channels")) {
            e = Channels(it.value(), s, n);
        } else if (k == QLatin1String("ganged")) {
            e = Pairs(it.value(), s, n);
        } else if (k == QLatin1String("line_source")) {
            e = Name(k, it.value(), kLineSources, s.lineSource);
            n.set(item::kLineSource);
        } else if (k == QLatin1String("ducking")) {
            e = Ducking(it.value(), s, n);
        } else if (k == QLatin1String("switch_on")) {
            e = Name(k, it.value(), kSwitchOn, s.switchOn);
            n.set(item::kSwitchOn);
        }
        if (e) {
            return e;
        }
    }
    state = s;
    if (named != nullptr) {
        *named = n;
    }
    return std::nullopt;
}

std::optional<QString> MergeStateFile(const QByteArray& bytes, DeviceState& state)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        // Where an editor shows it: line and column, counted from 1.
        const QByteArray before = bytes.left(error.offset);
        const qsizetype lineStart = before.lastIndexOf('\n') + 1;
        return QStringLiteral("not JSON: %1 at line %2, column %3")
            .arg(error.errorString())
            .arg(before.count('\n') + 1)
            .arg(QString::fromUtf8(before.mid(lineStart)).size() + 1);
    }
    if (!doc.isObject()) {
        return QStringLiteral("not a kestra-state object");
    }
    return MergeStateJson(doc.object(), state, true);
}

std::optional<QString> ReadStateFile(QIODevice& in, QByteArray& bytes)
{
    bytes.clear();
    // A pipe may hand over less than asked: read until the end or one byte
    // beyond the limit.
    while (bytes.size() <= kMaxStateFileBytes) {
        const QByteArray chunk = in.read(kMaxStateFileBytes + 1 - bytes.size());
        if (chunk.isEmpty()) {
            break;
        }
        bytes += chunk;
    }
    if (bytes.size() > kMaxStateFileBytes) {
        return QStringLiteral("larger than %1 KiB: not a state file (a backup is about 2 KiB)")
            .arg(kMaxStateFileBytes / 1024);
    }
    return std::nullopt;
}

std::optional<QString> MergeSettings(const QStringList& assignments, DeviceState& state)
{
    const QStringList boolKeys{"mute", "priority", "sub", "master", "manual", "active"};
    const QStringList channels = ChannelNames();
    QJsonObject root;
    for (const QString& a : assignments) {
        const int eq = a.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            return QStringLiteral("%1: not KEY=VALUE (e.g. mic3.mute=on)").arg(a);
        }
        QStringList path = a.left(eq).split(QLatin1Char('.'));
        const QString word = a.mid(eq + 1);
        const QStringList topKeys{"channels", "ganged", "line_source", "ducking", "switch_on"};
        if (channels.contains(path[0])) {
            path.prepend(QStringLiteral("channels"));
        } else if (!topKeys.mid(1).contains(path[0])) {
            return Unknown(path[0], channels + topKeys.mid(1)).value();
        }
        if (path.join(QLatin1Char('.')) == QLatin1String("ducking.active")) {
            return QStringLiteral("ducking.active: read-only (it shows speech on the microphones)");
        }
        // The word becomes the JSON value that the key's reader expects.
        QJsonValue value = word;
        const QString& leaf = path.last();
        // The window's spellings: "CD", "Tape", and levels as "-12dB".
        QString numeral = word;
        if (leaf == QLatin1String("gain_db") && numeral.endsWith(QLatin1String("db"), Qt::CaseInsensitive)) {
            numeral = numeral.chopped(2).trimmed();
        }
        if (leaf == QLatin1String("line_source") || leaf == QLatin1String("switch_on")) {
            value = word.toLower();
        }
        bool number = false;
        const double d = numeral.toDouble(&number);
        if (boolKeys.contains(leaf) && path.size() > 1) {
            const QStringList on{"on", "true", "yes", "1"};
            const QStringList off{"off", "false", "no", "0"};
            if (on.contains(word)) {
                value = true;
            } else if (off.contains(word)) {
                value = false;
            }
        } else if (leaf == QLatin1String("gain_db") && (word == QLatin1String("mute") || word == QLatin1String("null"))) {
            value = QJsonValue();
        } else if (number && leaf != QLatin1String("line_source") && leaf != QLatin1String("switch_on")) {
            value = d;
        }
        if (path.size() > 3 || (path.size() == 3 && path[0] != QLatin1String("channels"))) {
            return QStringLiteral("%1: unknown key").arg(a.left(eq));
        }
        // Nest it: {"a": {"b": value}}, merged with earlier assignments.
        QJsonValue nested = value;
        for (qsizetype i = path.size() - 1; i > 0; --i) {
            QJsonObject parent = i == 1 ? root.value(path[0]).toObject() : QJsonObject();
            if (i == 2) {
                parent = root.value(path[0]).toObject().value(path[1]).toObject();
            }
            parent.insert(path[i], nested);
            nested = parent;
        }
        root.insert(path[0], nested);
    }
    if (auto e = MergeStateJson(root, state, false)) {
        // Named as the user typed the key.
        return e->startsWith(QLatin1String("channels.")) ? e->mid(9) : *e;
    }
    return std::nullopt;
}
