// GET /metrics of `kestractl serve`: the line's health, the server's parts
// and the mixer's settings in Prometheus' text exposition format (0.0.4),
// for a monitoring server that watches a fleet of mixers.
//
// The line's counters run from the core's start. The device's settings are
// written only while it is online, that is, read whole: neither a default
// nor a copy gone stale with the line is passed off as what it holds.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>

#include <array>
#include <optional>

class DeviceConversation;

struct LineCounters {
    enum Failure { kNak, kBusy, kDeviceError, kSilence, kReopen, kFailureKinds };
    // Upper bounds of the reply-time buckets, in seconds: a reply takes a few
    // milliseconds on the wire at 9600 baud, a device server adds its network.
    static constexpr std::array<double, 9> kReplyBounds{0.005, 0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1, 2};

    quint64 exchanges = 0;  // frames sent, retries and polls included
    std::array<quint64, kFailureKinds> failures{};
    std::array<quint64, kReplyBounds.size()> replyBuckets{};  // replies within each bound and above the one before
    quint64 replies = 0;  // answers, the slowest ones beyond the last bound included
    double replySeconds = 0;

    // Counts from `conv`'s signals for as long as `context` lives.
    void Watch(DeviceConversation& conv, QObject* context);
};

// What the server and its show-control parts report; a part not started is left out.
struct MetricsGauges {
    int liveClients = 0;
    std::optional<int> oscSubscribers;
    std::optional<bool> mqttConnected;
};

// The exposition: `state` is the state document (BridgeCore::state()).
QByteArray MetricsText(const LineCounters& line, bool online, const QJsonObject& state, const MetricsGauges& gauges);
