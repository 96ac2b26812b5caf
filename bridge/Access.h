// Who may read and who may change, for HTTP requests and WebSocket
// connections alike. A server that is reachable from other machines needs a
// token; without it a client may read (nothing at all when private) and
// never change. Read-only refuses every change, token or not.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QUrl>

struct AccessRules {
    QString token;         // empty: no token asked for (loopback only)
    bool privateRead = false;
    bool readOnly = false;
};

struct AccessDecision {
    bool allowed = false;
    int status = 200;  // 401 without the token, 403 for read-only
    QString message;
};

// The token a client presented: "Authorization: Bearer TOKEN", else the
// URL's ?token=.
QString PresentedToken(const QByteArray& authorizationHeader, const QUrl& url);

// Whether `presented` is `token` (never when `token` is empty), compared in
// a time that does not tell how much of it was right.
bool TokenMatches(const QString& presented, const QString& token);

AccessDecision MayRead(const AccessRules& rules, const QString& presented);
// A token was presented, and it is not the server's.
bool WrongToken(const AccessRules& rules, const QString& presented);
AccessDecision MayChange(const AccessRules& rules, const QString& presented);

// Whether a browser's request comes from a page of this server. Browsers
// let any site send simple requests and open WebSockets to any address, the
// loopback included: a page from elsewhere must not work the mixer. Programs
// that send no Origin are not browsers and pass.
bool SameOrigin(const QByteArray& origin, const QByteArray& host);

// Whether a request's Host header names this server, so that a page whose
// name was rebound to this machine's address (DNS rebinding: its Origin
// and Host are then both the attacker's) is refused. Taken: an IP address
// the connection arrived at, "localhost" on the loopback, and `names`
// (NAME, or NAME:PORT for another port, e.g. behind a forwarded port);
// all with the server's port, where a Host without one means 80.
bool KnownHost(const QByteArray& host, quint16 port, const QHostAddress& arrivedAt, const QStringList& names);

// Whether listening on `address` keeps the server on this machine.
bool IsLoopback(const QHostAddress& address);
// A fresh random token (URL-safe, 128 bits).
QString NewToken();

// The token kept in `directory`/token, made (mode 0600, the directory 0700)
// when there is none yet, so that pages and scripts that hold it keep
// working across restarts. An empty string with `error` set on failure.
QString KeptToken(const QString& directory, QString* error);
