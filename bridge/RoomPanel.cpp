#include "RoomPanel.h"

#include "DeviceState.h"
#include "Mroutine.h"
#include "StateJson.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>

#include <cmath>

namespace {
constexpr int kMaxControls = 24;
constexpr int kMaxLabel = 40;

// A fault and where in the document it is.
struct Fault {
    QStringList path;
    QString text;
};
using Check = std::optional<Fault>;

Check At(QStringList path, QString text)
{
    return Fault{std::move(path), std::move(text)};
}

int ChannelIndex(const QString& name)
{
    for (int i = 0; i < kStateChannels; ++i) {
        if (name == QLatin1String(StateChannelName(i))) {
            return i;
        }
    }
    return -1;
}

QString ChannelList()
{
    QStringList names;
    for (int i = 0; i < kStateChannels; ++i) {
        names << QLatin1String(StateChannelName(i));
    }
    return names.join(QStringLiteral(", "));
}

// The other side of a stereo output, or -1.
int OtherSide(int index)
{
    const QString name = QLatin1String(StateChannelName(index));
    for (const auto& [a, b] : {std::pair{"sub_left", "sub_right"}, std::pair{"master_left", "master_right"}}) {
        if (name == QLatin1String(a)) {
            return ChannelIndex(QLatin1String(b));
        }
        if (name == QLatin1String(b)) {
            return ChannelIndex(QLatin1String(a));
        }
    }
    return -1;
}

Check Channels(const QStringList& path, const QJsonValue& v, std::vector<int>& out)
{
    const QJsonArray list = v.isArray() ? v.toArray() : QJsonArray{v};
    if (list.isEmpty()) {
        return At(path, QStringLiteral("no channel named"));
    }
    for (qsizetype i = 0; i < list.size(); ++i) {
        const int index = list[i].isString() ? ChannelIndex(list[i].toString()) : -1;
        const QStringList where = v.isArray() ? path + QStringList{QString::number(i)} : path;
        if (index < 0) {
            return At(where, QStringLiteral("not a channel (%1)").arg(ChannelList()));
        }
        if (std::find(out.begin(), out.end(), index) != out.end()) {
            return At(where, QStringLiteral("%1 named twice").arg(list[i].toString()));
        }
        out.push_back(index);
    }
    for (int index : out) {
        const int other = OtherSide(index);
        if (other >= 0 && std::find(out.begin(), out.end(), other) == out.end()) {
            return At(path, QStringLiteral("name both %1 and %2: when the pair is ganged the device moves both")
                                .arg(QLatin1String(StateChannelName(index)), QLatin1String(StateChannelName(other))));
        }
    }
    return std::nullopt;
}

QString LevelOf(int position)
{
    return QString::fromStdString(PositionText(position));
}

Check Control(const QStringList& path, const QJsonObject& o, RoomControl& c)
{
    static const QStringList kinds{"gain", "mute", "line_source", "preset", "ducking"};
    QStringList allowed = kinds + QStringList{"label"};
    QStringList given;
    for (const QString& k : kinds) {
        if (o.contains(k)) {
            given << k;
        }
    }
    if (given.size() != 1) {
        return At(path, QStringLiteral("a control names exactly one of %1 (here: %2)")
                            .arg(kinds.join(QStringLiteral(", ")), given.isEmpty() ? QStringLiteral("none") : given.join(QStringLiteral(", "))));
    }
    const QString kind = given.front();
    const QStringList at = path + QStringList{kind};
    const QJsonValue v = o.value(kind);
    c.kind = static_cast<RoomControl::Kind>(kinds.indexOf(kind));
    if (kind == QLatin1String("gain")) {
        allowed << QStringLiteral("min_db") << QStringLiteral("max_db");
    }
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (!allowed.contains(it.key())) {
            return At(path + QStringList{it.key()}, QStringLiteral("unknown key (allowed here: %1)").arg(allowed.join(QStringLiteral(", "))));
        }
    }
    const QJsonValue label = o.value(QLatin1String("label"));
    c.label = label.toString().trimmed();
    if (!label.isString() || c.label.isEmpty() || c.label.size() > kMaxLabel) {
        return At(path + QStringList{"label"}, QStringLiteral("a text of 1 to %1 characters is needed").arg(kMaxLabel));
    }
    switch (c.kind) {
    case RoomControl::Kind::Gain:
    case RoomControl::Kind::Mute:
        if (auto e = Channels(at, v, c.channels)) {
            return e;
        }
        break;
    case RoomControl::Kind::LineSource: {
        const QJsonArray list = v.toArray();
        if (!v.isArray() || list.isEmpty()) {
            return At(at, QStringLiteral("a list of the sources offered (%1)").arg(LineSourceNames().join(QStringLiteral(", "))));
        }
        for (qsizetype i = 0; i < list.size(); ++i) {
            const int s = LineSourceNames().indexOf(list[i].toString());
            if (!list[i].isString() || s < 0 || std::find(c.sources.begin(), c.sources.end(), s) != c.sources.end()) {
                return At(at + QStringList{QString::number(i)},
                          QStringLiteral("not a source, or one named twice (%1)").arg(LineSourceNames().join(QStringLiteral(", "))));
            }
            c.sources.push_back(s);
        }
        break;
    }
    case RoomControl::Kind::Preset:
        if (!v.isDouble() || (v.toDouble() != 1 && v.toDouble() != 2 && v.toDouble() != 3)) {
            return At(at, QStringLiteral("the preset this button loads: 1, 2 or 3"));
        }
        c.preset = v.toInt();
        break;
    case RoomControl::Kind::Ducking:
        if (v.toString() != QLatin1String("manual")) {
            return At(at, QStringLiteral("\"manual\": the button for manual ducking (its settings are not for a room)"));
        }
        break;
    }
    if (c.kind != RoomControl::Kind::Gain) {
        return std::nullopt;
    }
    for (const char* key : {"max_db", "min_db"}) {
        const QJsonValue limit = o.value(QLatin1String(key));
        if (limit.isUndefined()) {
            continue;
        }
        std::uint8_t position = 0;
        if (limit.isNull() && QLatin1String(key) == QLatin1String("max_db")) {
            return At(path + QStringList{key}, QStringLiteral("the highest level allowed: a level of the gain scale, not mute"));
        }
        if (auto e = ReadGainDb(QLatin1String(key), limit, position)) {
            return At(path + QStringList{key}, e->section(QStringLiteral(": "), 1));
        }
        (QLatin1String(key) == QLatin1String("max_db") ? c.top : c.bottom) = position;
    }
    if (c.top > c.bottom) {
        return At(path + QStringList{"min_db"}, QStringLiteral("%1 is above max_db (%2)").arg(LevelOf(c.bottom), LevelOf(c.top)));
    }
    return std::nullopt;
}

// The items a control changes, as the leaves of the state document.
QStringList Writes(const RoomControl& c)
{
    QStringList out;
    for (int index : c.channels) {
        const QString channel = QStringLiteral("channels.%1.").arg(QLatin1String(StateChannelName(index)));
        if (c.kind == RoomControl::Kind::Gain) {
            out << channel + QStringLiteral("position") << channel + QStringLiteral("gain_db");
        } else {
            out << channel + QStringLiteral("mute");
        }
    }
    if (c.kind == RoomControl::Kind::LineSource) {
        out << QStringLiteral("line_source");
    } else if (c.kind == RoomControl::Kind::Ducking) {
        out << QStringLiteral("ducking.manual");
    }
    return out;
}

Check Panel(const QJsonObject& o, const QString& fallbackName, RoomPanel& p)
{
    static const QStringList keys{"format", "version", "name", "title", "language", "pin", "colour", "controls"};
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (!keys.contains(it.key())) {
            return At({it.key()}, QStringLiteral("unknown key (allowed: %1)").arg(keys.join(QStringLiteral(", "))));
        }
    }
    if (o.contains(QLatin1String("format")) && o.value(QLatin1String("format")) != QLatin1String("kestra-panel")) {
        return At({"format"}, QStringLiteral("not a room panel (\"kestra-panel\")"));
    }
    if (o.contains(QLatin1String("version")) && o.value(QLatin1String("version")) != 1) {
        return At({"version"}, QStringLiteral("version 1 is the one this program reads"));
    }
    auto text = [&o](const char* key, const QString& fallback, const QRegularExpression& form, QString& out) {
        const QJsonValue v = o.value(QLatin1String(key));
        out = v.isUndefined() ? fallback : v.toString();
        return (v.isUndefined() || v.isString()) && form.match(out).hasMatch();
    };
    static const QRegularExpression name(QStringLiteral("^[a-z0-9][a-z0-9-]{0,31}$"));
    static const QRegularExpression title(QStringLiteral("^.{1,80}$"));
    static const QRegularExpression language(QStringLiteral("^(en|de)$"));
    static const QRegularExpression pin(QStringLiteral("^([0-9]{4,8})?$"));
    static const QRegularExpression colour(QStringLiteral("^(#[0-9a-fA-F]{6})?$"));
    if (!text("name", fallbackName, name, p.name)) {
        return At({"name"}, QStringLiteral("\"%1\": the name in the address, 1 to 32 of a-z, 0-9 and \"-\"").arg(p.name));
    }
    if (!text("title", p.name, title, p.title)) {
        return At({"title"}, QStringLiteral("a text of 1 to 80 characters"));
    }
    if (!text("language", QStringLiteral("en"), language, p.language)) {
        return At({"language"}, QStringLiteral("\"en\" or \"de\""));
    }
    if (!text("pin", QString(), pin, p.pin)) {
        return At({"pin"}, QStringLiteral("4 to 8 digits, as a text (\"2580\")"));
    }
    if (!text("colour", QString(), colour, p.colour)) {
        return At({"colour"}, QStringLiteral("a colour as \"#RRGGBB\""));
    }
    const QJsonArray controls = o.value(QLatin1String("controls")).toArray();
    if (controls.isEmpty() || controls.size() > kMaxControls) {
        return At({"controls"}, QStringLiteral("a list of 1 to %1 controls is needed").arg(kMaxControls));
    }
    QSet<QString> taken;
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const QStringList path{"controls", QString::number(i)};
        if (!controls[i].isObject()) {
            return At(path, QStringLiteral("a control is an object"));
        }
        RoomControl c;
        if (auto e = Control(path, controls[i].toObject(), c)) {
            return e;
        }
        // One control per item: two would leave open whose limits hold.
        QStringList items = Writes(c);
        if (c.kind == RoomControl::Kind::Preset) {
            items << QStringLiteral("preset %1").arg(c.preset);
        }
        for (const QString& item : items) {
            if (taken.contains(item)) {
                return At(path, QStringLiteral("%1 is on this panel already").arg(item));
            }
            taken.insert(item);
        }
        p.controls.push_back(std::move(c));
    }
    return std::nullopt;
}

// The leaves of a merge patch, as dotted paths.
void Leaves(const QJsonObject& o, const QString& prefix, QStringList& out)
{
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString path = prefix + it.key();
        if (it.value().isObject()) {
            Leaves(it.value().toObject(), path + QLatin1Char('.'), out);
        } else {
            out << path;
        }
    }
}

QJsonObject Keep(const QJsonObject& o, const QString& prefix, const QSet<QString>& shown)
{
    QJsonObject out;
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString path = prefix + it.key();
        if (shown.contains(path)) {
            out.insert(it.key(), it.value());
        } else if (it.value().isObject()) {
            const QJsonObject inner = Keep(it.value().toObject(), path + QLatin1Char('.'), shown);
            if (!inner.isEmpty()) {
                out.insert(it.key(), inner);
            }
        }
    }
    return out;
}

QSet<QString> Shown(const RoomPanel& p)
{
    QSet<QString> out;
    for (const RoomControl& c : p.controls) {
        for (const QString& w : Writes(c)) {
            out.insert(w);
        }
        if (c.kind == RoomControl::Kind::Ducking) {
            out.insert(QStringLiteral("ducking.active"));
        }
    }
    return out;
}

QJsonArray ChannelNames(const RoomControl& c)
{
    QJsonArray out;
    for (int index : c.channels) {
        out.append(QLatin1String(StateChannelName(index)));
    }
    return out;
}
}  // namespace

QJsonObject RoomPanel::Description() const
{
    static const char* const kKinds[] = {"gain", "mute", "line_source", "preset", "ducking"};
    QJsonArray list;
    for (const RoomControl& c : controls) {
        QJsonObject o{{"kind", kKinds[static_cast<int>(c.kind)]}, {"label", c.label}};
        if (!c.channels.empty()) {
            o.insert(QStringLiteral("channels"), ChannelNames(c));
        }
        if (c.kind == RoomControl::Kind::Gain) {
            o.insert(QStringLiteral("top"), c.top);
            o.insert(QStringLiteral("bottom"), c.bottom);
        }
        if (c.kind == RoomControl::Kind::LineSource) {
            QJsonArray sources;
            for (int s : c.sources) {
                sources.append(LineSourceNames().at(s));
            }
            o.insert(QStringLiteral("sources"), sources);
        }
        if (c.kind == RoomControl::Kind::Preset) {
            o.insert(QStringLiteral("preset"), c.preset);
        }
        list.append(o);
    }
    return {{"name", name}, {"title", title}, {"language", language}, {"colour", colour},
            {"pin", !pin.isEmpty()}, {"controls", list}};
}

QJsonObject RoomPanel::Filter(const QJsonObject& document) const
{
    return Keep(document, QString(), Shown(*this));
}

QJsonObject RoomPanel::FilterLevels(const QJsonObject& levels) const
{
    QJsonObject out;
    for (const RoomControl& c : controls) {
        for (int index : c.channels) {
            const QString name = QLatin1String(StateChannelName(index));
            if (c.kind == RoomControl::Kind::Gain && levels.contains(name)) {
                out.insert(name, levels.value(name));
            }
        }
    }
    return out;
}

std::optional<QString> RoomPanel::CheckPatch(const QJsonObject& patch, const DeviceState& now) const
{
    QSet<QString> writable;
    for (const RoomControl& c : controls) {
        for (const QString& w : Writes(c)) {
            writable.insert(w);
        }
    }
    QStringList leaves;
    Leaves(patch, QString(), leaves);
    for (const QString& leaf : leaves) {
        if (!writable.contains(leaf)) {
            return QStringLiteral("%1: not on this room panel").arg(leaf);
        }
    }
    DeviceState after = now;
    ItemSet named;
    if (auto e = MergeStateJson(patch, after, false, &named)) {
        return e;
    }
    for (const RoomControl& c : controls) {
        if (c.kind == RoomControl::Kind::LineSource && named.test(item::kLineSource) &&
            std::find(c.sources.begin(), c.sources.end(), after.lineSource) == c.sources.end()) {
            QStringList offered;
            for (int s : c.sources) {
                offered << LineSourceNames().at(s);
            }
            return QStringLiteral("line_source: \"%1\" is not offered on this panel (%2)")
                .arg(LineSourceNames().at(after.lineSource), offered.join(QStringLiteral(", ")));
        }
        for (int index : c.channels) {
            if (c.kind != RoomControl::Kind::Gain || !named.test(item::Gain(index))) {
                continue;
            }
            const int p = after.gain[static_cast<std::size_t>(index)];
            if (p < c.top || p > c.bottom) {
                return QStringLiteral("channels.%1: %2 is %3 the %4 level this panel allows for \"%5\" (%6); nothing was sent")
                    .arg(QLatin1String(StateChannelName(index)), LevelOf(p), p < c.top ? QStringLiteral("above") : QStringLiteral("below"),
                         p < c.top ? QStringLiteral("highest") : QStringLiteral("lowest"), c.label, LevelOf(p < c.top ? c.top : c.bottom));
            }
        }
    }
    return std::nullopt;
}

bool RoomPanel::LoadsPreset(int n) const
{
    return std::any_of(controls.begin(), controls.end(),
                       [n](const RoomControl& c) { return c.kind == RoomControl::Kind::Preset && c.preset == n; });
}

QString RoomPanel::Summary() const
{
    QStringList extras{language == QLatin1String("de") ? QStringLiteral("German") : QStringLiteral("English")};
    if (!pin.isEmpty()) {
        extras << QStringLiteral("a PIN for changes");
    }
    if (!colour.isEmpty()) {
        extras << QStringLiteral("colour %1").arg(colour);
    }
    QString out = QStringLiteral("room panel \"%1\" at /room/%1/: %2 (%3)\n").arg(name, title, extras.join(QStringLiteral(", ")));
    for (const RoomControl& c : controls) {
        QStringList channels;
        for (int index : c.channels) {
            channels << QLatin1String(StateChannelName(index));
        }
        QString what;
        switch (c.kind) {
        case RoomControl::Kind::Gain:
            what = QStringLiteral("gain of %1, %2 to %3").arg(channels.join(QStringLiteral(" and ")), LevelOf(c.bottom), LevelOf(c.top));
            break;
        case RoomControl::Kind::Mute:
            what = QStringLiteral("mute of %1").arg(channels.join(QStringLiteral(" and ")));
            break;
        case RoomControl::Kind::LineSource: {
            QStringList sources;
            for (int s : c.sources) {
                sources << LineSourceNames().at(s);
            }
            what = QStringLiteral("line source: %1").arg(sources.join(QStringLiteral(", ")));
            break;
        }
        case RoomControl::Kind::Preset:
            what = QStringLiteral("loads preset %1").arg(c.preset);
            break;
        case RoomControl::Kind::Ducking:
            what = QStringLiteral("manual ducking on and off");
            break;
        }
        out += QStringLiteral("  %1: %2\n").arg(c.label, what);
    }
    return out + QStringLiteral("nothing else: no other channel, ganging, ducking setting, preset saved or switch-on setting\n");
}

std::optional<QString> ParseRoomPanel(const QByteArray& bytes, const QString& fallbackName, RoomPanel& panel)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    auto where = [](const TextPlace& at, const QString& why) {
        return QStringLiteral("line %1, column %2: %3").arg(at.line).arg(at.column).arg(why);
    };
    if (error.error != QJsonParseError::NoError) {
        return where(PlaceOfOffset(bytes, error.offset), QStringLiteral("not JSON: %1").arg(error.errorString()));
    }
    if (!doc.isObject()) {
        return where({}, QStringLiteral("not a room panel (a JSON object with \"controls\")"));
    }
    RoomPanel read;
    if (const Check e = Panel(doc.object(), fallbackName, read)) {
        return where(PlaceOf(bytes, e->path), e->path.join(QLatin1Char('.')) + QStringLiteral(": ") + e->text);
    }
    panel = std::move(read);
    return std::nullopt;
}

std::optional<QString> ReadRoomPanel(const QString& fileName, RoomPanel& panel)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("%1: %2").arg(fileName, file.errorString());
    }
    // A panel is a few hundred bytes: anything past the limit is not read.
    const QByteArray bytes = file.read(kMaxStateFileBytes + 1);
    if (bytes.size() > kMaxStateFileBytes) {
        return QStringLiteral("%1: larger than %2 KiB: not a room panel").arg(fileName).arg(kMaxStateFileBytes / 1024);
    }
    const QString base = QFileInfo(fileName).completeBaseName();
    if (auto e = ParseRoomPanel(bytes, base, panel)) {
        // "FILE:LINE:COLUMN: reason", the form editors jump to.
        static const QRegularExpression place(QStringLiteral("^line (\\d+), column (\\d+): "));
        const auto m = place.match(*e);
        return QStringLiteral("%1:%2:%3: %4").arg(fileName, m.captured(1), m.captured(2), e->mid(m.capturedLength()));
    }
    return std::nullopt;
}
