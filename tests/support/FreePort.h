// Test helper: a TCP port on 127.0.0.1 that was free a moment ago (servers
// started on it bind with SO_REUSEADDR).
#pragma once

#include <QTcpServer>

inline quint16 FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}
