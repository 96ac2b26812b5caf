#include "Metrics.h"

#include "DeviceConversation.h"
#include "DeviceState.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
class Writer {
public:
    void Family(const char* name, const char* type, const char* help)
    {
        name_ = name;
        out_ += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
    }
    void Sample(const QByteArray& suffix, const QByteArray& labels, double value)
    {
        QByteArray v = std::isinf(value) ? QByteArray(value < 0 ? "-Inf" : "+Inf") : QByteArray::number(value, 'g', 15);
        out_ += name_ + suffix + (labels.isEmpty() ? QByteArray() : '{' + labels + '}') + ' ' + v + '\n';
    }
    void Sample(double value) { Sample({}, {}, value); }
    QByteArray Text() const { return out_; }

private:
    QByteArray name_, out_;
};

QByteArray Label(const char* name, const QString& value)
{
    return QByteArray(name) + "=\"" + value.toUtf8() + '"';  // our own channel names: nothing to escape
}
}  // namespace

void LineCounters::Watch(DeviceConversation& conv, QObject* context)
{
    QObject::connect(&conv, &DeviceConversation::frameSent, context, [this] { ++exchanges; });
    QObject::connect(&conv, &DeviceConversation::unanswered, context, [this] { ++failures[kSilence]; });
    QObject::connect(&conv, &DeviceConversation::reopening, context, [this] { ++failures[kReopen]; });
    QObject::connect(&conv, &DeviceConversation::reportReceived, context,
                     [this](const LCmd&, const ReportEvent& report, quint32 replyMs, bool answered) {
                         if (!answered) {
                             ++unasked;
                             return;  // a leftover: its time says nothing of this exchange
                         }
                         const double s = replyMs / 1000.0;
                         recentMs[replies % kRecent] = replyMs;
                         ++replies;
                         replySeconds += s;
                         for (std::size_t i = 0; i < kReplyBounds.size(); ++i) {
                             if (s <= kReplyBounds[i]) {
                                 ++replyBuckets[i];
                                 break;
                             }
                         }
                         switch (report.kind) {
                         case ReportKind::Nak:
                             ++failures[kNak];
                             break;
                         case ReportKind::Busy:
                             ++failures[kBusy];
                             break;
                         case ReportKind::Error:
                             ++failures[kDeviceError];
                             break;
                         default:
                             break;
                         }
                     });
}

std::optional<std::pair<quint32, quint32>> LineCounters::RecentMs() const
{
    if (replies == 0) {
        return std::nullopt;
    }
    std::array<quint32, kRecent> sorted = recentMs;
    const auto end = sorted.begin() + static_cast<std::ptrdiff_t>(std::min<quint64>(replies, kRecent));
    std::sort(sorted.begin(), end);
    return std::pair{sorted[static_cast<std::size_t>(end - sorted.begin()) / 2], *(end - 1)};
}

QJsonObject LineHealth(const LineCounters& line, const DeviceConversation::LineFigures& figures)
{
    QJsonObject h{{"exchanges", static_cast<qint64>(line.exchanges)},
                  {"answers", static_cast<qint64>(line.replies)},
                  {"unanswered", static_cast<qint64>(line.failures[LineCounters::kSilence])},
                  {"refused", static_cast<qint64>(line.failures[LineCounters::kNak] + line.failures[LineCounters::kBusy] +
                                                  line.failures[LineCounters::kDeviceError])},
                  {"reopened", static_cast<qint64>(line.failures[LineCounters::kReopen])},
                  {"unasked", static_cast<qint64>(line.unasked)},
                  {"garbled", static_cast<qint64>(figures.garbled)},
                  {"echoes", static_cast<qint64>(figures.echoes)}};
    if (const auto recent = line.RecentMs()) {
        h.insert(QStringLiteral("reply_ms"), QJsonObject{{"median", static_cast<qint64>(recent->first)},
                                                         {"worst", static_cast<qint64>(recent->second)}});
    }
    return h;
}

QByteArray MetricsText(const LineCounters& line, const DeviceConversation::LineFigures& figures, bool online,
                       const QJsonObject& state, const MetricsGauges& gauges)
{
    Writer w;
    w.Family("kestra_online", "gauge", "1 while the device's line is up and its state was read whole");
    w.Sample(online ? 1 : 0);
    w.Family("kestra_exchanges_total", "counter", "Frames sent to the device (polls and retries included)");
    w.Sample(static_cast<double>(line.exchanges));
    w.Family("kestra_failures_total", "counter",
             "Exchanges refused (nak, busy, device_error) or unanswered by their deadline (silence), and reopenings of the line (reopen)");
    const char* kinds[LineCounters::kFailureKinds] = {"nak", "busy", "device_error", "silence", "reopen"};
    for (int k = 0; k < LineCounters::kFailureKinds; ++k) {
        w.Sample({}, Label("kind", QLatin1String(kinds[k])), static_cast<double>(line.failures[k]));
    }
    w.Family("kestra_reply_seconds", "histogram", "Time from a frame sent to the device's answer");
    quint64 cumulated = 0;
    for (std::size_t i = 0; i < LineCounters::kReplyBounds.size(); ++i) {
        cumulated += line.replyBuckets[i];
        w.Sample("_bucket", "le=\"" + QByteArray::number(LineCounters::kReplyBounds[i]) + '"', static_cast<double>(cumulated));
    }
    w.Sample("_bucket", "le=\"+Inf\"", static_cast<double>(line.replies));
    w.Sample("_sum", {}, line.replySeconds);
    w.Sample("_count", {}, static_cast<double>(line.replies));
    if (const auto recent = line.RecentMs()) {
        w.Family("kestra_reply_recent_seconds", "gauge", "Median and slowest reply time of the latest 256 answers");
        w.Sample({}, "stat=\"median\"", recent->first / 1000.0);
        w.Sample({}, "stat=\"worst\"", recent->second / 1000.0);
    }
    w.Family("kestra_frames_total", "counter",
             "Frames heard beside the answers: reports that answered nothing (unasked), replies with a wrong checksum "
             "(garbled), our own frames heard back (echo)");
    w.Sample({}, "kind=\"unasked\"", static_cast<double>(line.unasked));
    w.Sample({}, "kind=\"garbled\"", static_cast<double>(figures.garbled));
    w.Sample({}, "kind=\"echo\"", static_cast<double>(figures.echoes));
    w.Family("kestra_live_clients", "gauge", "WebSocket clients of the live document");
    w.Sample(gauges.liveClients);
    if (gauges.oscSubscribers) {
        w.Family("kestra_osc_subscribers", "gauge", "OSC peers subscribed to changes");
        w.Sample(*gauges.oscSubscribers);
    }
    if (gauges.mqttConnected) {
        w.Family("kestra_mqtt_connected", "gauge", "1 while connected to the MQTT broker");
        w.Sample(*gauges.mqttConnected ? 1 : 0);
    }
    if (!online || state.isEmpty()) {
        return w.Text();
    }
    const QJsonObject channels = state.value(QLatin1String("channels")).toObject();
    auto perChannel = [&](const char* key, auto value) {
        for (int i = 0; i < kStateChannels; ++i) {
            const QString name = QString::fromLatin1(StateChannelName(i));
            w.Sample({}, Label("channel", name), value(channels.value(name).toObject().value(QLatin1String(key))));
        }
    };
    w.Family("kestra_gain_db", "gauge", "Gain of each channel in dB; -Inf at the mute position");
    perChannel("gain_db", [](const QJsonValue& v) { return v.isNull() ? -std::numeric_limits<double>::infinity() : v.toDouble(); });
    w.Family("kestra_mute", "gauge", "1 when the channel is muted");
    perChannel("mute", [](const QJsonValue& v) { return v.toBool() ? 1.0 : 0.0; });
    const QJsonObject ducking = state.value(QLatin1String("ducking")).toObject();
    w.Family("kestra_ducking_active", "gauge", "1 while speech on the microphones ducks the line");
    w.Sample(ducking.value(QLatin1String("active")).toBool() ? 1 : 0);
    w.Family("kestra_ducking_manual", "gauge", "1 while the line is ducked by hand");
    w.Sample(ducking.value(QLatin1String("manual")).toBool() ? 1 : 0);
    return w.Text();
}
