// GET /metrics of `kestractl serve`: the line's health, the server's parts
// and the mixer's settings in Prometheus' text exposition format (0.0.4),
// for a monitoring server that watches a fleet of mixers.
//
// The line's counters run from the core's start. The device's settings are
// written only while it is online, that is, read whole: neither a default
// nor a copy gone stale with the line is passed off as what it holds.
#pragma once

#include "DeviceConversation.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>

#include <array>
#include <optional>


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
    quint64 unasked = 0;  // reports that answered nothing: the device's own news, or kept by a device server
    // The latest answers' reply times (a ring): what the line is like now.
    static constexpr std::size_t kRecent = 256;
    std::array<quint32, kRecent> recentMs{};
    // Median and slowest of the latest answers; nothing before the first.
    std::optional<std::pair<quint32, quint32>> RecentMs() const;

    // Counts from `conv`'s signals for as long as `context` lives.
    void Watch(DeviceConversation& conv, QObject* context);
};

// What the server and its show-control parts report; a part not started is left out.
struct MetricsGauges {
    int liveClients = 0;
    std::optional<int> oscSubscribers;
    std::optional<bool> mqttConnected;
};

// The exposition: `state` is the state document (BridgeCore::State()).
QByteArray MetricsText(const LineCounters& line, const DeviceConversation::LineFigures& figures, bool online,
                       const QJsonObject& state, const MetricsGauges& gauges);
// The line's figures for /api/health: answers and their reply times (median,
// slowest of the latest), what went unanswered or was refused, and what
// came beside the answers.
QJsonObject LineHealth(const LineCounters& line, const DeviceConversation::LineFigures& figures);
