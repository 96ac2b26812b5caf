// The HTTP side of `kestractl serve`, on Qt HttpServer and Qt WebSockets:
//
//   GET   /, /app.js, ...          the web panel (embedded files only)
//   GET   /api/state               the state document (`kestractl get --json`)
//   PATCH /api/state               a JSON merge patch of it; 200 with the new
//                                  state once the device confirmed it
//   POST  /api/presets/N/load|save N = 1..3
//   GET   /api/ports               serial ports the system reports
//   GET   /api/health              {"online": ..., "read_only": ...}
//   GET   /metrics                 Prometheus' text format (Metrics.h); read
//                                  access as for the state
//   WS    /api/live                the live document on connect, then one
//                                  merge patch per change; clients may send
//                                  merge patches of the state document
//
// Room panels (RoomPanel.h), each NAME with a token of its own, which
// reaches only these and is refused everywhere else:
//
//   GET   /room/NAME/              the room's page
//   GET   /api/room/NAME           {"panel": its description, "online": ...,
//                                  "state": the panel's part, once known}
//   GET   /api/room/NAME/state     the panel's part of the state document
//   PATCH /api/room/NAME/state     a merge patch of it, within the panel's limits
//   POST  /api/room/NAME/presets/N/load   a preset the panel offers
//   POST  /api/room/NAME/unlock    checks the PIN (X-Kestra-Pin) without changing anything
//   WS    /api/room/NAME/live      as /api/live, for the panel's part only
//
// A panel with a PIN takes changes only with it (X-Kestra-Pin, or ?pin= for
// the WebSocket), unless the server's own token is presented; a change the
// panel does not allow is refused with 403 and nothing is sent.
//
// The live document is the state document plus two read-only members:
// "levels" (BridgeCore::Levels()) and "online". A message with "error" is
// the answer to a refused patch of that client only.
//
// Errors are {"error": text}: 400 for a bad request (bad JSON, unknown key,
// wrong type, out of range), 401 without the token, 403 read-only or a
// browser page of another site (its Origin), 404, 405, 502 when the device
// refused or the line failed, 503 while it is offline. Nothing reaches the
// device before a request passed every check. See Access.h for the token
// rules. Before any of that, HttpGuard answers in plain text what is refused
// by its head: 421 for a Host this server does not answer to, 413 for a
// body declared over 64 KiB, 400 for an upgrade that is no valid WebSocket
// handshake, 403 for a WebSocket from a page of another site, 408, 411, 431,
// 503 for a body that waited longest when too many are under way.
//
// Answers on one connection go out in the order of its requests: a request
// waits while one before it waits for the device.
//
// Documents leave out members whose value is null (the gain_db of a channel
// at the mute position: its position says so), so that the live stream's
// merge patches, where null removes a member, lead a client to exactly the
// server's document.
#pragma once

#include "Access.h"
#include "HttpGuard.h"
#include "Metrics.h"
#include "PinGuard.h"
#include "RoomPanel.h"

#include <QAbstractHttpServer>
#include <QHttpServerRequest>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QUrl>

#include <deque>
#include <vector>
#include <map>

#include <functional>
#include <memory>
#include <optional>

class BridgeCore;
class QWebSocket;
class WebFiles;

struct ServeOptions {
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 8080;  // 0: any free port (tests)
    AccessRules access;
    QStringList allowedHosts;  // Host names besides the addresses and localhost (KnownHost)
    HttpLimits limits;
    int maxLiveClients = 500;
    std::vector<RoomPanel> panels;  // names distinct, each with its token
};

class BridgeServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxBody = 64 * 1024;

    BridgeServer(BridgeCore& core, ServeOptions options, QObject* parent = nullptr);
    ~BridgeServer() override;

    // False with a message when the address cannot be bound.
    bool Start(QString* error);
    quint16 Port() const { return port_; }
    int LiveClients() const { return static_cast<int>(clients_.size()); }
    int Connections() const { return guard_ != nullptr ? guard_->Connections() : 0; }
    // Adds the gauges of parts started beside the server (OSC, MQTT) to /metrics.
    void SetMetricsGauges(std::function<void(MetricsGauges&)> fill) { gauges_ = std::move(fill); }

signals:
    // A request or client refused before it was read whole (rate-limited in the log).
    void refused(const QString& line);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Client {
        QWebSocket* socket;
        bool mayChange;
        const RoomPanel* panel = nullptr;  // a room panel's client sees and changes only its part
    };
    // What a request handler needs, kept while it waits its turn.
    struct Request {
        QHttpServerRequest::Method method;
        QUrl url;
        QByteArray body, authorization, origin, host, pin;
    };
    using ReplyFn = std::function<void(int status, const QByteArray& body, const QByteArray& mimeType)>;
    struct Waiting {
        Request request;
        std::shared_ptr<QHttpServerResponder> responder;
    };
    struct Queue {
        std::deque<Waiting> waiting;
        bool busy = false;
    };
    HeadVerdict CheckHead(const HttpHead& head, bool upgrade, const QTcpSocket& socket) const;
    void RunQueue(QTcpSocket* socket);
    void Handle(const Request& request, const ReplyFn& reply);
    // Refuses (through `refuse`) a change from a page of another site, or
    // what `decide` refuses; true when the request may go on.
    static bool Permitted(const Request& request, bool change, const std::function<AccessDecision()>& decide,
                          const std::function<void(int, const QString&)>& refuse);
    void HandleApi(const Request& request, const ReplyFn& reply);
    void HandleRoom(const RoomPanel& panel, const QString& rest, const Request& request, const ReplyFn& reply);
    const RoomPanel* PanelNamed(const QString& name) const;
    // The panel whose token `presented` is, if any.
    const RoomPanel* PanelOfToken(const QString& presented) const;
    // Who may read or change through a panel's endpoints; a change checks the PIN too.
    AccessDecision MayReadRoom(const RoomPanel& panel, const QString& presented) const;
    AccessDecision MayChangeRoom(const RoomPanel& panel, const QString& presented, const QString& pin);
    // The panel a WebSocket path /api/room/NAME/live names, or nullptr.
    const RoomPanel* LivePanel(const QString& path) const;
    void AcceptWebSockets();
    void OnLiveMessage(QWebSocket* socket, const QString& text);
    void Broadcast(const QJsonObject& message);
    QJsonObject LiveDocument(const RoomPanel* panel = nullptr) const;
    // `message` of the live stream as a panel's client gets it; empty: none.
    static QJsonObject ForPanel(const RoomPanel& panel, const QJsonObject& message);

    BridgeCore& core_;
    ServeOptions options_;
    quint16 port_ = 0;
    HttpGuard* guard_ = nullptr;
    std::unique_ptr<WebFiles> files_;
    QList<Client> clients_;
    std::map<QTcpSocket*, Queue> queues_;
    std::function<void(MetricsGauges&)> gauges_;
    std::map<QString, PinGuard> pins_;  // by panel name
};

// Parses and checks a merge patch from the network: JSON, an object, at most
// BridgeServer::kMaxBody bytes, valid for the state document. The message
// names the field (or says what is wrong with the body).
std::optional<QString> ParsePatch(const QByteArray& body, QJsonObject& patch);

// The document as served: members whose value is null left out.
QJsonObject WithoutNulls(const QJsonObject& document);
