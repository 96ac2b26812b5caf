// A WebSocket client of the live stream that keeps every message.
#pragma once

#include "WaitFor.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QWebSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

struct LiveClient {
    QWebSocket socket;
    std::vector<QJsonObject> messages;
    explicit LiveClient(const QString& url)
    {
        QObject::connect(&socket, &QWebSocket::textMessageReceived,
                         [this](const QString& m) { messages.push_back(QJsonDocument::fromJson(m.toUtf8()).object()); });
        socket.open(QUrl(url));
        EXPECT_TRUE(WaitFor([this] { return !messages.empty(); })) << url.toStdString();
    }
    bool Saw(const std::function<bool(const QJsonObject&)>& match)
    {
        return WaitFor([&] { return std::any_of(messages.begin(), messages.end(), match); });
    }
};

