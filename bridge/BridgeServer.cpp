#include "BridgeServer.h"

#include "BridgeCore.h"
#include "DetectedPorts.h"
#include "DeviceConversation.h"
#include "MergePatch.h"
#include "WebFiles.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QWebSocket>

namespace {
using Status = QHttpServerResponder::StatusCode;

QByteArray Compact(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// Headers every answer carries: nothing is cached (the state moves), and a
// browser takes each file for what it is said to be. HEAD gets them without
// the body.
void Write(QHttpServerResponder& r, bool head, const QByteArray& body, const QByteArray& mimeType, int status)
{
    const QHttpServerResponder::HeaderList headers{{"Content-Type", mimeType},
                                                   {"Cache-Control", "no-store"},
                                                   {"X-Content-Type-Options", "nosniff"},
                                                   {"Content-Security-Policy", "default-src 'self'"}};
    if (!head) {
        r.write(body, headers, static_cast<Status>(status));
        return;
    }
    r.writeStatusLine(static_cast<Status>(status));
    r.writeHeaders(headers);
    r.writeHeader("Content-Length", QByteArray::number(body.size()));
    r.writeBody("");
}

QByteArray ErrorBody(const QString& message)
{
    return Compact(QJsonObject{{"error", message}});
}
}  // namespace

std::optional<QString> ParsePatch(const QByteArray& body, QJsonObject& patch)
{
    if (body.size() > BridgeServer::kMaxBody) {
        return QStringLiteral("body: %1 bytes, more than the %2 allowed").arg(body.size()).arg(BridgeServer::kMaxBody);
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        return QStringLiteral("body: not JSON: %1 at offset %2").arg(error.errorString()).arg(error.offset);
    }
    if (!doc.isObject()) {
        return QStringLiteral("body: not a JSON object (a merge patch of the state)");
    }
    patch = doc.object();
    return BridgeCore::ValidatePatch(patch);
}

BridgeServer::BridgeServer(BridgeCore& core, ServeOptions options, QObject* parent)
    : QAbstractHttpServer(parent), core_(core), options_(std::move(options)), files_(std::make_unique<WebFiles>())
{
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, &BridgeServer::AcceptWebSockets);
    connect(&core_, &BridgeCore::stateChanged, this, [this](const QJsonObject& patch) { Broadcast(patch); });
    connect(&core_, &BridgeCore::levelsChanged, this,
            [this](const QJsonObject& patch) { Broadcast(QJsonObject{{"levels", patch}}); });
    connect(&core_, &BridgeCore::onlineChanged, this,
            [this](bool online) { Broadcast(QJsonObject{{"online", online}}); });
}

BridgeServer::~BridgeServer()
{
    for (const Client& c : clients_) {
        c.socket->disconnect(this);
        delete c.socket;
    }
}

bool BridgeServer::Start(QString* error)
{
    guard_ = new HttpGuard(options_.limits,
                           [this](const HttpHead& head, bool upgrade, const QTcpSocket& socket) {
                               return CheckHead(head, upgrade, socket);
                           },
                           this);
    connect(guard_, &HttpGuard::refused, this, &BridgeServer::refused);
    if (!guard_->listen(options_.address, options_.port)) {
        if (error != nullptr) {
            *error = QStringLiteral("cannot listen on %1:%2 (in use, or not an address of this machine)")
                         .arg(options_.address.toString())
                         .arg(options_.port);
        }
        delete guard_;
        guard_ = nullptr;
        return false;
    }
    port_ = guard_->serverPort();
    bind(guard_);
    return true;
}

HeadVerdict BridgeServer::CheckHead(const HttpHead& head, bool upgrade, const QTcpSocket& socket) const
{
    if (!KnownHost(head.value("Host"), port_, socket.localAddress(), options_.allowedHosts)) {
        return {421, "this server does not answer to the name \"" + head.value("Host").left(100) +
                         "\" (kestractl serve --allow-host NAME adds one)"};
    }
    // HttpGuard stops reading an upgraded connection as HTTP: only the one
    // WebSocket there is may be asked for.
    const QString target = QUrl(QString::fromLatin1(head.target)).path();
    if (upgrade && target != QLatin1String("/api/live") && LivePanel(target) == nullptr) {
        return {404, "no WebSocket here (only /api/live and /api/room/NAME/live)"};
    }
    // Refused before the 101: after it only a close code could say why.
    if (upgrade && !SameOrigin(head.value("Origin"), head.value("Host"))) {
        return {403, "a page from elsewhere (" + head.value("Origin").left(100) + ") may not connect here"};
    }
    return {};
}

bool BridgeServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    const QString path = request.url().path();
    // An upgrade taken (true, nothing written) goes on to the WebSocket side,
    // which checks the token and can tell the page why it closes. HttpGuard
    // let through only valid handshakes for /api/live.
    if (!request.value("Upgrade").isEmpty()) {
        return path == QLatin1String("/api/live") || LivePanel(path) != nullptr;
    }
    if (!queues_.contains(socket)) {
        connect(socket, &QObject::destroyed, this, [this, socket] { queues_.erase(socket); });
    }
    Queue& q = queues_[socket];
    q.waiting.push_back({Request{request.method(), request.url(), request.body(), request.value("Authorization"),
                                 request.value("Origin"), request.value("Host"), request.value("X-Kestra-Pin")},
                         std::make_shared<QHttpServerResponder>(makeResponder(request, socket))});
    RunQueue(socket);
    return true;
}

void BridgeServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    QHttpServerResponder r = makeResponder(request, socket);
    Write(r, request.method() == QHttpServerRequest::Method::Head, "not found\n", "text/plain; charset=utf-8", 404);
    guard_->Answered(socket);
}

void BridgeServer::RunQueue(QTcpSocket* socket)
{
    for (;;) {
        const auto it = queues_.find(socket);
        if (it == queues_.end() || it->second.busy || it->second.waiting.empty()) {
            return;
        }
        Waiting w = std::move(it->second.waiting.front());
        it->second.waiting.pop_front();
        it->second.busy = true;
        // The device answers later; the client may be gone by then.
        const bool head = w.request.method == QHttpServerRequest::Method::Head;
        auto reply = [this, alive = QPointer<QTcpSocket>(socket), r = w.responder, head](
                         int status, const QByteArray& body, const QByteArray& mimeType) {
            if (!alive) {
                return;
            }
            Write(*r, head, body, mimeType, status);
            guard_->Answered(alive.data());
            const auto q = queues_.find(alive.data());
            if (q != queues_.end() && q->second.busy) {
                q->second.busy = false;
                QMetaObject::invokeMethod(this, [this, alive] {
                    if (alive) {
                        RunQueue(alive.data());
                    }
                }, Qt::QueuedConnection);
            }
        };
        Handle(w.request, reply);
    }
}

void BridgeServer::Handle(const Request& request, const ReplyFn& reply)
{
    const QString path = request.url.path();
    static const QRegularExpression roomPage(QStringLiteral("^/room/([^/]+)/?$"));
    const auto room = roomPage.match(path);
    const RoomPanel* panel = room.hasMatch() ? PanelNamed(room.captured(1)) : nullptr;
    if (const RoomPanel* holder = PanelOfToken(PresentedToken(request.authorization, request.url));
        holder != nullptr && !path.startsWith(QLatin1String("/room/")) && !path.startsWith(QLatin1String("/api/room/"))) {
        reply(403, ErrorBody(QStringLiteral("this is room panel \"%1\"'s token: it reaches /room/%1/ and /api/room/%1/ only")
                                 .arg(holder->name)),
              "application/json");
    } else if (path.startsWith(QLatin1String("/api/"))) {
        HandleApi(request, reply);
    } else if (panel != nullptr) {
        const WebFiles::File* page = files_->Find(QStringLiteral("/room/room.html"));
        if (request.method != QHttpServerRequest::Method::Get && request.method != QHttpServerRequest::Method::Head) {
            reply(405, ErrorBody(QStringLiteral("%1: only GET").arg(path)), "application/json");
        } else {
            reply(200, page->body, page->mimeType);
        }
    } else if (path == QLatin1String("/metrics")) {
        const AccessDecision d = MayRead(options_.access, PresentedToken(request.authorization, request.url));
        if (request.method != QHttpServerRequest::Method::Get && request.method != QHttpServerRequest::Method::Head) {
            reply(405, ErrorBody(QStringLiteral("%1: only GET").arg(path)), "application/json");
        } else if (!d.allowed) {
            reply(d.status, ErrorBody(d.message), "application/json");
        } else {
            MetricsGauges gauges;
            gauges.liveClients = LiveClients();
            if (gauges_) {
                gauges_(gauges);
            }
            reply(200, MetricsText(core_.Counters(), core_.Conversation().Figures(), core_.Online(), core_.State(), gauges),
                  "text/plain; version=0.0.4; charset=utf-8");
        }
    } else if (const WebFiles::File* file = files_->Find(path); file == nullptr) {
        reply(404, "not found\n", "text/plain; charset=utf-8");
    } else if (request.method != QHttpServerRequest::Method::Get && request.method != QHttpServerRequest::Method::Head) {
        reply(405, ErrorBody(QStringLiteral("%1: only GET").arg(path)), "application/json");
    } else {
        reply(200, file->body, file->mimeType);
    }
}

bool BridgeServer::Permitted(const Request& request, bool change, const std::function<AccessDecision()>& decide,
                             const std::function<void(int, const QString&)>& refuse)
{
    // A page of another site is refused before anything is decided, a PIN tried included.
    if (change && !SameOrigin(request.origin, request.host)) {
        refuse(403, QStringLiteral("a page from elsewhere may not change anything here"));
        return false;
    }
    const AccessDecision d = decide();
    if (!d.allowed) {
        refuse(d.status, d.message);
    }
    return d.allowed;
}

void BridgeServer::HandleApi(const Request& request, const ReplyFn& reply)
{
    using Method = QHttpServerRequest::Method;
    const QString path = request.url.path();
    const Method method = request.method;
    const QString token = PresentedToken(request.authorization, request.url);
    auto json = [reply](const QJsonObject& o, int status = 200) { reply(status, Compact(o), "application/json"); };
    auto error = [reply](int status, const QString& message) { reply(status, ErrorBody(message), "application/json"); };

    auto later = [json, error](int status, const QString& e, const QJsonObject& state) {
        if (BridgeCalls::Succeeded(status)) {
            QJsonObject body = WithoutNulls(state);
            if (status == 202) {
                body.insert(QStringLiteral("acknowledged"), e);  // taken, but no report showed the value
            }
            json(body, status);
        } else {
            error(status, e);
        }
    };
    auto only = [&](std::initializer_list<Method> allowed) {
        if (std::find(allowed.begin(), allowed.end(), method) == allowed.end()) {
            error(405, QStringLiteral("%1: method not allowed").arg(path));
            return false;
        }
        return true;
    };
    auto read = [&] { return Permitted(request, false, [&] { return MayRead(options_.access, token); }, error); };
    auto change = [&] { return Permitted(request, true, [&] { return MayChange(options_.access, token); }, error); };

    static const QRegularExpression presetPath(QStringLiteral("^/api/presets/([^/]+)/(load|save)$"));
    static const QRegularExpression roomPath(QStringLiteral("^/api/room/([^/]+)(/.*)?$"));
    if (const auto room = roomPath.match(path); room.hasMatch()) {
        if (const RoomPanel* panel = PanelNamed(room.captured(1))) {
            HandleRoom(*panel, room.captured(2), request, reply);
        } else {
            error(404, QStringLiteral("%1: no such room panel").arg(room.captured(1)));
        }
    } else if (path == QLatin1String("/api/health")) {
        if (only({Method::Get, Method::Head}) && read()) {
            QJsonObject health{{"online", core_.Online()},
                               {"read_only", options_.access.readOnly},
                               {"line", LineHealth(core_.Counters(), core_.Conversation().Figures())}};
            if (!core_.Online()) {
                health.insert(QStringLiteral("reason"), core_.OfflineText());
            }
            json(health);
        }
    } else if (path == QLatin1String("/api/state")) {
        if (method == Method::Get || method == Method::Head) {
            if (read()) {
                // Until the device's state is read whole (again, after a
                // preset load), there is none to give.
                if (core_.Online() && core_.Conversation().State().AllKnown()) {
                    json(WithoutNulls(core_.State()));
                } else {
                    error(503, core_.OfflineText());
                }
            }
        } else if (only({Method::Patch}) && change()) {
            QJsonObject patch;
            if (auto e = ParsePatch(request.body, patch)) {
                error(400, *e);
            } else {
                core_.ApplyPatch(patch, later);
            }
        }
    } else if (const auto m = presetPath.match(path); m.hasMatch()) {
        bool number = false;
        const int n = m.captured(1).toInt(&number);
        if (only({Method::Post}) && change()) {
            if (!number || n < 1 || n > 3) {
                error(400, QStringLiteral("preset: \"%1\" is not allowed (1, 2, 3)").arg(m.captured(1)));
            } else if (m.captured(2) == QLatin1String("load")) {
                core_.LoadPreset(n, later);
            } else {
                core_.SavePreset(n, later);
            }
        }
    } else if (path == QLatin1String("/api/ports")) {
        if (only({Method::Get, Method::Head}) && read()) {
            QJsonArray list;
            for (const comm::DetectedPort& p : comm::DetectPorts()) {
                list.append(QJsonObject{{"path", p.location}, {"description", p.description}, {"serial_number", p.serialNumber}});
            }
            json(QJsonObject{{"current", core_.PortName()}, {"ports", list}});
        }
    } else {
        error(404, QStringLiteral("%1: no such endpoint").arg(path));
    }
}

QJsonObject BridgeServer::LiveDocument(const RoomPanel* panel) const
{
    QJsonObject doc = WithoutNulls(core_.State());
    doc.insert(QStringLiteral("levels"), core_.Levels());
    doc.insert(QStringLiteral("online"), core_.Online());
    return panel != nullptr ? ForPanel(*panel, doc) : doc;
}

void BridgeServer::AcceptWebSockets()
{
    while (hasPendingWebSocketConnections()) {
        QWebSocket* socket = nextPendingWebSocketConnection().release();
        socket->setParent(this);
        // Frames and messages over the limit close the socket before their payload is buffered.
        socket->setMaxAllowedIncomingFrameSize(kMaxBody);
        socket->setMaxAllowedIncomingMessageSize(kMaxBody);
        const QString token =
            PresentedToken(socket->request().rawHeader("Authorization"), socket->requestUrl());
        const RoomPanel* panel = LivePanel(socket->requestUrl().path());
        AccessDecision read = MayRead(options_.access, token);
        if (panel != nullptr) {
            read = MayReadRoom(*panel, token);
        } else if (const RoomPanel* holder = PanelOfToken(token)) {
            read = {false, 403, QStringLiteral("this is room panel \"%1\"'s token: it reaches /api/room/%1/live only").arg(holder->name)};
        } else if (WrongToken(options_.access, token)) {
            // Refused even where reading needs none, so that a page learns
            // at once that its token is not this server's.
            read = MayChange(options_.access, token);
        }
        if (!SameOrigin(socket->origin().toUtf8(), socket->request().rawHeader("Host"))) {
            read = {false, 403, QStringLiteral("a page from elsewhere may not connect here")};
        }
        if (read.allowed && clients_.size() >= options_.maxLiveClients) {
            read = {false, 503, QStringLiteral("%1 live clients already").arg(options_.maxLiveClients)};
        }
        if (!read.allowed) {
            // 4000 + the HTTP status: the page tells "no token" from other refusals.
            // Closed once Qt WebSockets has finished with the handshake, which
            // otherwise goes on reading a closed socket (a warning in the log).
            // Kept as a number: 4000 + status is no named CloseCode, and a
            // stored enum outside its names is undefined to read back.
            const int code = 4000 + read.status;
            QMetaObject::invokeMethod(socket, [socket, code, why = read.message] {
                socket->close(static_cast<QWebSocketProtocol::CloseCode>(code), why);
                socket->deleteLater();
            }, Qt::QueuedConnection);
            continue;
        }
        const bool mayChange =
            panel != nullptr
                ? MayChangeRoom(*panel, token, QUrlQuery(socket->requestUrl()).queryItemValue(QStringLiteral("pin"))).allowed
                : MayChange(options_.access, token).allowed;
        clients_.append(Client{socket, mayChange, panel});
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket](const QString& text) { OnLiveMessage(socket, text); });
        connect(socket, &QWebSocket::disconnected, this, [this, socket] {
            clients_.removeIf([socket](const Client& c) { return c.socket == socket; });
            socket->deleteLater();
        });
        QJsonObject first = LiveDocument(panel);
        if (panel != nullptr) {
            first.insert(QStringLiteral("may_change"), mayChange);  // with a PIN: whether it was taken
        }
        socket->sendTextMessage(QString::fromUtf8(Compact(first)));
    }
}

void BridgeServer::OnLiveMessage(QWebSocket* socket, const QString& text)
{
    const auto it = std::find_if(clients_.begin(), clients_.end(), [socket](const Client& c) { return c.socket == socket; });
    if (it == clients_.end()) {
        return;
    }
    QPointer<QWebSocket> alive(socket);
    auto answer = [alive](int status, const QString& message) {
        if (alive) {
            alive->sendTextMessage(QString::fromUtf8(Compact(QJsonObject{{"error", message}, {"status", status}})));
        }
    };
    if (!it->mayChange) {
        const QString token = PresentedToken(socket->request().rawHeader("Authorization"), socket->requestUrl());
        AccessDecision d = MayChange(options_.access, token);
        if (it->panel != nullptr) {
            d = {false, 403, QStringLiteral("this panel takes no change from this connection (its PIN was not given, or read-only)")};
        }
        answer(d.status, d.message);
        return;
    }
    QJsonObject patch;
    if (auto e = ParsePatch(text.toUtf8(), patch)) {
        answer(400, *e);
        return;
    }
    if (it->panel != nullptr) {
        if (auto e = it->panel->CheckPatch(patch, core_.Conversation().State())) {
            answer(403, *e);
            return;
        }
    }
    // Success needs no answer of its own: the change reaches every client,
    // this one included, as the device confirmed it.
    core_.ApplyPatch(patch, [answer](int status, const QString& error, const QJsonObject&) {
        if (!BridgeCalls::Succeeded(status)) {
            answer(status, error);
        }
    });
}

void BridgeServer::Broadcast(const QJsonObject& message)
{
    const QString whole = QString::fromUtf8(Compact(message));
    std::map<const RoomPanel*, QString> byPanel;
    for (const RoomPanel& p : options_.panels) {
        const QJsonObject part = ForPanel(p, message);
        byPanel[&p] = part.isEmpty() ? QString() : QString::fromUtf8(Compact(part));
    }
    const QList<Client> clients = clients_;  // a dropped client leaves clients_ at once
    for (const Client& c : clients) {
        const QString& text = c.panel != nullptr ? byPanel[c.panel] : whole;
        if (text.isEmpty()) {
            continue;  // nothing of this panel's
        }
        // A client that does not read is dropped rather than queued for
        // without end; it reconnects and starts from the whole document.
        if (c.socket->bytesToWrite() > options_.limits.maxBacklog) {
            emit refused(QStringLiteral("live: %1: more than %2 bytes unread, closed")
                             .arg(c.socket->peerAddress().toString())
                             .arg(options_.limits.maxBacklog));
            c.socket->abort();
        } else {
            c.socket->sendTextMessage(text);
        }
    }
}

QJsonObject WithoutNulls(const QJsonObject& document)
{
    QJsonObject out;
    for (auto it = document.begin(); it != document.end(); ++it) {
        if (it.value().isObject()) {
            out.insert(it.key(), WithoutNulls(it.value().toObject()));
        } else if (!it.value().isNull()) {
            out.insert(it.key(), it.value());
        }
    }
    return out;
}
