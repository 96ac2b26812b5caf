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

#include <memory>
#include <string>
#include <vector>

class BridgeFixture : public ::testing::Test {
protected:
    struct Answer {
        int status = 0;
        QJsonObject json;
        QByteArray body;
    };

    // Starts the device, the core and the server; fails the test if any fails.
    void StartBridge(const AccessRules& rules = {}, const sim::SimOptions& options = {});
    Answer Http(const QByteArray& method, const QString& pathAndQuery, const QByteArray& body = {},
                const QByteArray& bearer = {}, const QByteArray& origin = {});
    QString BaseUrl(const char* scheme = "http") const;
    // Sub byte and payload, in hex, of every frame the device received since
    // the last ClearReceived, polls and inquiries left out.
    std::vector<std::string> Commands() const;

    std::unique_ptr<sim::KestraSim> sim_;
    std::unique_ptr<BridgeCore> core_;
    std::unique_ptr<BridgeServer> server_;
    QNetworkAccessManager net_;
};
