#include "BridgeServer.h"

#include "BridgeCore.h"
#include "DetectedPorts.h"
#include "MergePatch.h"
#include "WebFiles.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QWebSocket>

namespace {
using Status = QHttpServerResponder::StatusCode;

QByteArray Compact(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// Headers every answer carries: nothing is cached (the state moves), and a
// browser takes each file for what it is said to be.
void Reply(QHttpServerResponder& r, const QByteArray& body, const QByteArray& mimeType, int status)
{
    r.write(body,
            {{"Content-Type", mimeType},
             {"Cache-Control", "no-store"},
             {"X-Content-Type-Options", "nosniff"},
             {"Content-Security-Policy", "default-src 'self'"}},
            static_cast<Status>(status));
}

void ReplyJson(QHttpServerResponder& r, const QJsonObject& o, int status = 200)
{
    Reply(r, Compact(o), "application/json", status);
}

void ReplyError(QHttpServerResponder& r, int status, const QString& message)
{
    ReplyJson(r, QJsonObject{{"error", message}}, status);
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
    return BridgeCore::validatePatch(patch);
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

bool BridgeServer::start(QString* error)
{
    port_ = listen(options_.address, options_.port);
    if (port_ == 0 && error != nullptr) {
        *error = QStringLiteral("cannot listen on %1:%2 (in use, or not an address of this machine)")
                     .arg(options_.address.toString())
                     .arg(options_.port);
    }
    return port_ != 0;
}

bool BridgeServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    const QString path = request.url().path();
    // An upgrade taken (true, nothing written) goes on to the WebSocket side,
    // which checks the token and can tell the page why it closes.
    if (request.value("Upgrade").compare("websocket", Qt::CaseInsensitive) == 0) {
        return path == QLatin1String("/api/live");
    }
    if (path.startsWith(QLatin1String("/api/"))) {
        HandleApi(request, socket);
        return true;
    }
    const WebFiles::File* file = files_->Find(path);
    if (file == nullptr) {
        return false;
    }
    QHttpServerResponder r = makeResponder(request, socket);
    if (request.method() != QHttpServerRequest::Method::Get && request.method() != QHttpServerRequest::Method::Head) {
        ReplyError(r, 405, QStringLiteral("%1: only GET").arg(path));
        return true;
    }
    Reply(r, file->body, file->mimeType, 200);
    return true;
}

void BridgeServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    QHttpServerResponder r = makeResponder(request, socket);
    Reply(r, "not found\n", "text/plain; charset=utf-8", 404);
}

void BridgeServer::HandleApi(const QHttpServerRequest& request, QTcpSocket* socket)
{
    using Method = QHttpServerRequest::Method;
    const QString path = request.url().path();
    const Method method = request.method();
    const QString token = PresentedToken(request.value("Authorization"), request.url());
    auto r = std::make_shared<QHttpServerResponder>(makeResponder(request, socket));

    // The device answers later; the client may be gone by then.
    auto later = [r, alive = QPointer<QTcpSocket>(socket), core = &core_](bool ok, const QString& error, const QJsonObject& state) {
        if (!alive) {
            return;
        }
        if (ok) {
            ReplyJson(*r, state);
        } else {
            ReplyError(*r, core->online() ? 502 : 503, error);
        }
    };
    auto only = [&](Method allowed) {
        if (method != allowed) {
            ReplyError(*r, 405, QStringLiteral("%1: method not allowed").arg(path));
            return false;
        }
        return true;
    };
    auto read = [&] {
        const AccessDecision d = MayRead(options_.access, token);
        if (!d.allowed) {
            ReplyError(*r, d.status, d.message);
        }
        return d.allowed;
    };
    auto change = [&] {
        if (!SameOrigin(request.value("Origin"), request.value("Host"))) {
            ReplyError(*r, 403, QStringLiteral("a page from elsewhere may not change anything here"));
            return false;
        }
        const AccessDecision d = MayChange(options_.access, token);
        if (!d.allowed) {
            ReplyError(*r, d.status, d.message);
        }
        return d.allowed;
    };

    static const QRegularExpression presetPath(QStringLiteral("^/api/presets/([^/]+)/(load|save)$"));
    if (path == QLatin1String("/api/health")) {
        if (only(Method::Get)) {
            ReplyJson(*r, QJsonObject{{"online", core_.online()}, {"read_only", options_.access.readOnly}});
        }
    } else if (path == QLatin1String("/api/state")) {
        if (method == Method::Get) {
            if (read()) {
                ReplyJson(*r, core_.state());
            }
        } else if (only(Method::Patch) && change()) {
            QJsonObject patch;
            if (auto e = ParsePatch(request.body(), patch)) {
                ReplyError(*r, 400, *e);
            } else {
                core_.applyPatch(patch, later);
            }
        }
    } else if (const auto m = presetPath.match(path); m.hasMatch()) {
        bool number = false;
        const int n = m.captured(1).toInt(&number);
        if (only(Method::Post) && change()) {
            if (!number || n < 1 || n > 3) {
                ReplyError(*r, 400, QStringLiteral("preset: \"%1\" is not allowed (1, 2, 3)").arg(m.captured(1)));
            } else if (m.captured(2) == QLatin1String("load")) {
                core_.loadPreset(n, later);
            } else {
                core_.savePreset(n, later);
            }
        }
    } else if (path == QLatin1String("/api/ports")) {
        if (only(Method::Get) && read()) {
            QJsonArray list;
            for (const comm::DetectedPort& p : comm::DetectPorts()) {
                list.append(QJsonObject{{"path", p.location}, {"description", p.description}, {"serial_number", p.serialNumber}});
            }
            ReplyJson(*r, QJsonObject{{"current", core_.portName()}, {"ports", list}});
        }
    } else {
        ReplyError(*r, 404, QStringLiteral("%1: no such endpoint").arg(path));
    }
}

QJsonObject BridgeServer::LiveDocument() const
{
    QJsonObject doc = core_.state();
    doc.insert(QStringLiteral("levels"), core_.levels());
    doc.insert(QStringLiteral("online"), core_.online());
    return doc;
}

void BridgeServer::AcceptWebSockets()
{
    while (hasPendingWebSocketConnections()) {
        QWebSocket* socket = nextPendingWebSocketConnection().release();
        socket->setParent(this);
        socket->setMaxAllowedIncomingMessageSize(kMaxBody);
        const QString token =
            PresentedToken(socket->request().rawHeader("Authorization"), socket->requestUrl());
        AccessDecision read = MayRead(options_.access, token);
        if (!SameOrigin(socket->origin().toUtf8(), socket->request().rawHeader("Host"))) {
            read = {false, 403, QStringLiteral("a page from elsewhere may not connect here")};
        }
        if (!read.allowed) {
            // 4000 + the HTTP status: the page tells "no token" from other refusals.
            socket->close(static_cast<QWebSocketProtocol::CloseCode>(4000 + read.status), read.message);
            socket->deleteLater();
            continue;
        }
        clients_.append(Client{socket, MayChange(options_.access, token).allowed});
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket](const QString& text) { OnLiveMessage(socket, text); });
        connect(socket, &QWebSocket::disconnected, this, [this, socket] {
            clients_.removeIf([socket](const Client& c) { return c.socket == socket; });
            socket->deleteLater();
        });
        socket->sendTextMessage(QString::fromUtf8(Compact(LiveDocument())));
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
        const AccessDecision d = MayChange(options_.access, token);
        answer(d.status, d.message);
        return;
    }
    QJsonObject patch;
    if (auto e = ParsePatch(text.toUtf8(), patch)) {
        answer(400, *e);
        return;
    }
    // Success needs no answer of its own: the change reaches every client,
    // this one included, as the device confirmed it.
    core_.applyPatch(patch, [answer, core = &core_](bool ok, const QString& error, const QJsonObject&) {
        if (!ok) {
            answer(core->online() ? 502 : 503, error);
        }
    });
}

void BridgeServer::Broadcast(const QJsonObject& message)
{
    const QString text = QString::fromUtf8(Compact(message));
    for (const Client& c : clients_) {
        c.socket->sendTextMessage(text);
    }
}
