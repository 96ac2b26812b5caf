// BridgeServer's room panels: their endpoints and who may use them.
#include "BridgeCore.h"
#include "BridgeServer.h"
#include "DeviceConversation.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QRegularExpression>

namespace {
// The steady clock the PIN pauses run on.
qint64 NowMs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}
}  // namespace

const RoomPanel* BridgeServer::PanelNamed(const QString& name) const
{
    for (const RoomPanel& p : options_.panels) {
        if (p.name == name) {
            return &p;
        }
    }
    return nullptr;
}

const RoomPanel* BridgeServer::PanelOfToken(const QString& presented) const
{
    for (const RoomPanel& p : options_.panels) {
        if (TokenMatches(presented, p.token)) {
            return &p;
        }
    }
    return nullptr;
}

const RoomPanel* BridgeServer::LivePanel(const QString& path) const
{
    static const QRegularExpression live(QStringLiteral("^/api/room/([^/]+)/live$"));
    const auto m = live.match(path);
    return m.hasMatch() ? PanelNamed(m.captured(1)) : nullptr;
}

AccessDecision BridgeServer::MayReadRoom(const RoomPanel& panel, const QString& presented) const
{
    if (TokenMatches(presented, panel.token)) {
        return {true, 200, QString()};
    }
    if (const RoomPanel* other = PanelOfToken(presented)) {
        return {false, 403, QStringLiteral("this is room panel \"%1\"'s token, not \"%2\"'s").arg(other->name, panel.name)};
    }
    // The server's own token, or none where the server asks for none.
    AccessDecision d = WrongToken(options_.access, presented) ? MayChange(options_.access, presented)
                                                              : MayRead(options_.access, presented);
    if (!d.allowed && !presented.isEmpty()) {
        d.message = QStringLiteral("wrong token: not this room panel's");
    }
    return d;
}

AccessDecision BridgeServer::MayChangeRoom(const RoomPanel& panel, const QString& presented, const QString& pin)
{
    const bool own = TokenMatches(presented, panel.token);
    if (!own && PanelOfToken(presented) != nullptr) {
        return MayReadRoom(panel, presented);
    }
    if (!own) {
        AccessDecision d = MayChange(options_.access, presented);
        if (!d.allowed) {
            return d;
        }
        // The server's own token needs no PIN; where the server asks for no
        // token at all, the PIN is all that guards the panel.
        if (TokenMatches(presented, options_.access.token)) {
            return d;
        }
    }
    if (options_.access.readOnly) {
        return {false, 403, QStringLiteral("read-only: this server refuses every change")};
    }
    if (panel.pin.isEmpty()) {
        return {true, 200, QString()};
    }
    if (pin.isEmpty()) {
        // Not a try: a page that reconnects before its PIN is typed must not pause the panel.
        return {false, 403, QStringLiteral("this panel is locked: its PIN is needed to change anything")};
    }
    PinGuard& guard = pins_[panel.name];
    switch (guard.Try(panel.pin, pin, NowMs())) {
    case PinGuard::Verdict::Right:
        return {true, 200, QString()};
    case PinGuard::Verdict::Wrong:
        return {false, 403, QStringLiteral("wrong PIN")};
    case PinGuard::Verdict::Paused:
        break;
    }
    return {false, 429, QStringLiteral("too many wrong PINs: try again in %1 s").arg(guard.SecondsLeft(NowMs()))};
}

QJsonObject BridgeServer::ForPanel(const RoomPanel& panel, const QJsonObject& message)
{
    QJsonObject out = panel.Filter(message);
    if (message.contains(QLatin1String("levels"))) {
        const QJsonObject levels = panel.FilterLevels(message.value(QLatin1String("levels")).toObject());
        if (!levels.isEmpty()) {
            out.insert(QStringLiteral("levels"), levels);
        }
    }
    if (message.contains(QLatin1String("online"))) {
        out.insert(QStringLiteral("online"), message.value(QLatin1String("online")));
    }
    return out;
}

void BridgeServer::HandleRoom(const RoomPanel& panel, const QString& rest, const Request& request, const ReplyFn& reply)
{
    using Method = QHttpServerRequest::Method;
    const Method method = request.method;
    const QString token = PresentedToken(request.authorization, request.url);
    auto json = [reply](const QJsonObject& o, int status = 200) {
        reply(status, QJsonDocument(o).toJson(QJsonDocument::Compact), "application/json");
    };
    auto error = [json](int status, const QString& message) { json(QJsonObject{{"error", message}}, status); };
    auto only = [&](Method allowed) {
        const bool head = allowed == Method::Get && method == Method::Head;
        if (method != allowed && !head) {
            error(405, QStringLiteral("%1: method not allowed").arg(request.url.path()));
            return false;
        }
        return true;
    };
    auto read = [&] { return Permitted(request, false, [&] { return MayReadRoom(panel, token); }, error); };
    auto change = [&] {
        return Permitted(request, true, [&] { return MayChangeRoom(panel, token, QString::fromUtf8(request.pin)); }, error);
    };
    const bool known = core_.Online() && core_.Conversation().State().AllKnown();
    const QString name = panel.name;
    // The device answers later; the panel's part of the state then.
    auto later = [this, json, error, name](int status, const QString& e, const QJsonObject& state) {
        const RoomPanel* p = PanelNamed(name);
        if (!BridgeCalls::Succeeded(status) || p == nullptr) {
            error(status, e);
            return;
        }
        QJsonObject body = p->Filter(WithoutNulls(state));
        if (status == 202) {
            body.insert(QStringLiteral("acknowledged"), e);
        }
        json(body, status);
    };

    static const QRegularExpression presetPath(QStringLiteral("^/presets/([1-3])/load$"));
    if (rest.isEmpty()) {
        if (only(Method::Get) && read()) {
            QJsonObject o{{"panel", panel.Description()}, {"online", core_.Online()}};
            if (known) {
                o.insert(QStringLiteral("state"), panel.Filter(WithoutNulls(core_.State())));
            } else {
                o.insert(QStringLiteral("reason"), core_.OfflineText());
            }
            json(o);
        }
    } else if (rest == QLatin1String("/state")) {
        if (method == Method::Get || method == Method::Head) {
            if (read()) {
                known ? json(panel.Filter(WithoutNulls(core_.State()))) : error(503, core_.OfflineText());
            }
        } else if (only(Method::Patch) && change()) {
            QJsonObject patch;
            if (auto e = ParsePatch(request.body, patch)) {
                error(400, *e);
            } else if (auto refused = panel.CheckPatch(patch, core_.Conversation().State())) {
                error(403, *refused);
            } else {
                core_.ApplyPatch(patch, later);
            }
        }
    } else if (const auto m = presetPath.match(rest); m.hasMatch() || rest.startsWith(QLatin1String("/presets/"))) {
        if (only(Method::Post) && change()) {
            const int n = m.captured(1).toInt();
            if (!m.hasMatch() || !panel.LoadsPreset(n)) {
                error(403, QStringLiteral("%1: not on this room panel (it loads only the presets it shows)").arg(rest.mid(1)));
            } else {
                core_.LoadPreset(n, later);
            }
        }
    } else if (rest == QLatin1String("/unlock")) {
        if (only(Method::Post) && change()) {
            json(QJsonObject{{"may_change", true}});
        }
    } else {
        error(404, QStringLiteral("%1: no such endpoint of a room panel").arg(request.url.path()));
    }
}
