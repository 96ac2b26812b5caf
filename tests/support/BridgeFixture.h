// Test fixture: the simulated KESTRA on a pseudo-terminal, the bridge core on
// it and its HTTP server on a free port of 127.0.0.1, with a plain HTTP client.
#pragma once

#include "Access.h"
#include "BridgeCore.h"
#include "BridgeServer.h"
#include "KestraSim.h"

#include <QJsonObject>
#include <QNetworkAccessManager>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QTcpSocket;

class BridgeFixture : public ::testing::Test {
protected:
    struct Answer {
        int status = 0;
        QJsonObject json;
        QByteArray body;
    };

    // Starts the device, the core and the server (on a free port, with `rules`);
    // fails the test if any fails.
    void StartBridge(const AccessRules& rules = {}, const sim::SimOptions& options = {}, ServeOptions serve = {});
    Answer Http(const QByteArray& method, const QString& pathAndQuery, const QByteArray& body = {},
                const QByteArray& bearer = {}, const QByteArray& origin = {},
                const QList<std::pair<QByteArray, QByteArray>>& headers = {});
    QString BaseUrl(const char* scheme = "http") const;
    // Sub byte and payload, in hex, of every frame the device received since
    // the last ClearReceived, polls and inquiries left out.
    std::vector<std::string> Commands() const;

    // Raw HTTP on a socket of its own, for what a well-behaved client never sends.
    QByteArray Host() const { return "Host: 127.0.0.1:" + QByteArray::number(server_->Port()) + "\r\n"; }
    // "METHOD /path" with the body, as a whole request.
    QByteArray Request(const QByteArray& line, const QByteArray& body = {}) const
    {
        return line + " HTTP/1.1\r\n" + Host() + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }
    // Status and body of each answer to `request` on a connection of its own,
    // until `count` came or the server closed it. `headFirst`: the first
    // answers a HEAD (no body). `closes`: the server must close once it
    // answered, and all it sends is read. `sent` runs once the request is written.
    std::vector<std::pair<int, QByteArray>> Exchange(const QByteArray& request, std::size_t count = 1, bool headFirst = false,
                                                     bool closes = false, const std::function<void(QTcpSocket&)>& sent = {});

    std::unique_ptr<sim::KestraSim> sim_;
    std::unique_ptr<BridgeCore> core_;
    std::unique_ptr<BridgeServer> server_;
    QNetworkAccessManager net_;
};
