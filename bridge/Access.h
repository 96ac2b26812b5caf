// Who may read and who may change, for HTTP requests and WebSocket
// connections alike. A server that is reachable from other machines needs a
// token; without it a client may read (nothing at all when private) and
// never change. Read-only refuses every change, token or not.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
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

AccessDecision MayRead(const AccessRules& rules, const QString& presented);
AccessDecision MayChange(const AccessRules& rules, const QString& presented);

// Whether a browser's request comes from a page of this server. Browsers
// let any site send simple requests and open WebSockets to any address, the
// loopback included: a page from elsewhere must not work the mixer. Programs
// that send no Origin are not browsers and pass.
bool SameOrigin(const QByteArray& origin, const QByteArray& host);

// Whether listening on `address` keeps the server on this machine.
bool IsLoopback(const QHostAddress& address);
// A fresh random token (URL-safe, 128 bits).
QString NewToken();
