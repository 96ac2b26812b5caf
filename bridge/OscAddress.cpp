#include "OscAddress.h"

#include "DeviceState.h"
#include "ItemKeys.h"
#include "Mroutine.h"
#include "BridgeCore.h"
#include "StateJson.h"

#include <QJsonValue>

#include <cmath>

namespace {

enum class Kind { Gain, Int, Bool, Source, ReadOnly };

struct Entry {
    QString address;
    QStringList path;
    Kind kind;
};

const QString kPrefix = QStringLiteral("/kestra/");

std::vector<Entry> BuildTable()
{
    std::vector<Entry> t;
    // OSC names of the channels, in state order (DeviceState.h).
    const char* const channels[kStateChannels] = {"line",       "sub/left", "sub/right", "master/left",
                                                  "master/right", "mic/1",  "mic/2",     "mic/3",
                                                  "mic/4",      "mic/5",    "mic/6"};
    for (int i = 0; i < kStateChannels; ++i) {
        const QString base = kPrefix + QLatin1String(channels[i]) + QLatin1Char('/');
        const QStringList at{QStringLiteral("channels"), QString::fromLatin1(StateChannelName(i))};
        t.push_back({base + QStringLiteral("gain"), at + QStringList{"gain_db"}, Kind::Gain});
        t.push_back({base + QStringLiteral("position"), at + QStringList{"position"}, Kind::Int});
        t.push_back({base + QStringLiteral("mute"), at + QStringList{"mute"}, Kind::Bool});
        if (i >= kFirstMicIndex) {
            t.push_back({base + QStringLiteral("priority"), at + QStringList{"priority"}, Kind::Bool});
        }
    }
    t.push_back({kPrefix + QStringLiteral("line/source"), {"line_source"}, Kind::Source});
    t.push_back({kPrefix + QStringLiteral("sub/ganged"), {"ganged", "sub"}, Kind::Bool});
    t.push_back({kPrefix + QStringLiteral("master/ganged"), {"ganged", "master"}, Kind::Bool});
    t.push_back({kPrefix + QStringLiteral("ducking/manual"), {"ducking", "manual"}, Kind::Bool});
    t.push_back({kPrefix + QStringLiteral("ducking/active"), {"ducking", "active"}, Kind::ReadOnly});
    for (const char* k : kDuckSettingKeys) {
        t.push_back({kPrefix + QStringLiteral("ducking/") + QLatin1String(k), {"ducking", QLatin1String(k)}, Kind::Int});
    }
    return t;
}

const std::vector<Entry>& Table()
{
    static const std::vector<Entry> table = BuildTable();
    return table;
}

const Entry* Find(const QString& address)
{
    for (const Entry& e : Table()) {
        if (e.address == address) {
            return &e;
        }
    }
    return nullptr;
}

bool IsNumber(const OscArg& a)
{
    return (a.type == 'i' || a.type == 'h' || a.type == 'f' || a.type == 'd') && std::isfinite(a.number);
}

bool IsWhole(const OscArg& a) { return IsNumber(a) && a.number == std::floor(a.number); }

// The nearest level of the gain scale: faders send any float in range.
int NearestPosition(double db)
{
    int best = 0;
    for (int p = 1; p < kMutePosition; ++p) {
        if (std::abs(PositionToDb(p) - db) < std::abs(PositionToDb(best) - db)) {
            best = p;
        }
    }
    return best;
}

using Value = std::variant<QJsonValue, QString>;

Value ValueOf(const Entry& e, const OscArg& a)
{
    const QString bad = e.address + QStringLiteral(": ");
    switch (e.kind) {
    case Kind::Gain:
        if (a.type == 'N') {
            return QJsonValue();
        }
        if (!IsNumber(a) || a.number > 0.0 || a.number < -76.0) {
            return bad + QStringLiteral("takes a level in dB from -76 to 0 (or nil for mute)");
        }
        return QJsonValue(PositionToDb(NearestPosition(a.number)));
    case Kind::Int:
        if (!IsWhole(a)) {
            return bad + QStringLiteral("takes a whole number");
        }
        return QJsonValue(a.number);
    case Kind::Bool:
        if (a.type == 'T' || a.type == 'F') {
            return QJsonValue(a.type == 'T');
        }
        if (!IsNumber(a) || (a.number != 0.0 && a.number != 1.0)) {
            return bad + QStringLiteral("takes 0 or 1");
        }
        return QJsonValue(a.number == 1.0);
    case Kind::Source:
        if ((a.type == 's' || a.type == 'S') && LineSourceNames().contains(a.text)) {
            return QJsonValue(a.text);
        }
        if (IsWhole(a) && a.number >= 0 && a.number < LineSourceNames().size()) {
            return QJsonValue(LineSourceNames()[static_cast<int>(a.number)]);
        }
        return bad + QStringLiteral("takes one of %1, or 0..4").arg(LineSourceNames().join(QStringLiteral(", ")));
    case Kind::ReadOnly:
        break;
    }
    return bad + QStringLiteral("is read-only (send it without arguments to query it)");
}

QJsonObject Nest(const QStringList& path, const QJsonValue& v)
{
    QJsonValue inner = v;
    for (qsizetype i = path.size() - 1; i > 0; --i) {
        inner = QJsonObject{{path[i], inner}};
    }
    return QJsonObject{{path[0], inner}};
}

QJsonValue At(const QJsonObject& doc, const QStringList& path)
{
    QJsonValue v = doc;
    for (const QString& k : path) {
        if (!v.isObject() || !v.toObject().contains(k)) {
            return QJsonValue(QJsonValue::Undefined);
        }
        v = v.toObject().value(k);
    }
    return v;
}

OscArg ArgOf(Kind kind, const QJsonValue& v)
{
    if (kind == Kind::Source) {
        return OscArg{'s', 0.0, v.toString()};
    }
    if (kind == Kind::Gain) {
        return v.isDouble() ? OscArg{'f', v.toDouble(), {}} : OscArg{};
    }
    if (v.isBool()) {
        return OscArg{'i', v.toBool() ? 1.0 : 0.0, {}};
    }
    return OscArg{'i', v.toDouble(), {}};
}

}  // namespace

std::variant<OscRequest, QString> ParseOscMessage(const QString& address, const std::vector<OscArg>& args)
{
    if (address == QLatin1String("/kestra/subscribe")) {
        if (args.size() > 1 || (args.size() == 1 && (!IsWhole(args[0]) || args[0].number < 0))) {
            return address + QStringLiteral(": takes nothing, or the number /kestra/nonce sent");
        }
        return OscRequest{OscRequest::Subscribe, {}, {}, 0, args.empty() ? -1 : static_cast<qint64>(args[0].number)};
    }
    if (address == QLatin1String("/kestra/preset/load") || address == QLatin1String("/kestra/preset/save")) {
        if (args.size() != 1 || !IsWhole(args[0]) || args[0].number < 1 || args[0].number > 3) {
            return address + QStringLiteral(": takes the preset number 1..3");
        }
        return OscRequest{address.endsWith(QLatin1String("load")) ? OscRequest::LoadPreset : OscRequest::SavePreset,
                          {}, {}, static_cast<int>(args[0].number)};
    }
    const Entry* e = Find(address);
    if (e == nullptr) {
        return address + QStringLiteral(": unknown address");
    }
    if (args.empty()) {
        return OscRequest{OscRequest::Query, {}, e->path, 0};
    }
    if (args.size() > 1) {
        return address + QStringLiteral(": takes one argument");
    }
    Value v = ValueOf(*e, args[0]);
    if (auto* error = std::get_if<QString>(&v)) {
        return *error;
    }
    QStringList path = e->path;
    QJsonValue value = std::get<QJsonValue>(v);
    if (e->kind == Kind::Gain && value.isNull()) {
        // The mute position by its number: a null in a merge patch means "remove".
        path.last() = QStringLiteral("position");
        value = kMutePosition;
    }
    const QJsonObject patch = Nest(path, value);
    if (auto error = BridgeCore::ValidatePatch(patch)) {
        return address + QStringLiteral(": ") + *error;
    }
    return OscRequest{OscRequest::Set, patch, {}, 0};
}

std::vector<OscMessage> OscMessagesFor(const QJsonObject& patch)
{
    std::vector<OscMessage> out;
    for (const Entry& e : Table()) {
        const QJsonValue v = At(patch, e.path);
        if (!v.isUndefined()) {
            out.push_back({e.address, ArgOf(e.kind, v)});
        }
    }
    return out;
}

OscMessage OscAnswer(const QStringList& path, const QJsonObject& state)
{
    for (const Entry& e : Table()) {
        if (e.path == path) {
            return {e.address, ArgOf(e.kind, At(state, path))};
        }
    }
    return {};
}
