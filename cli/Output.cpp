#include "Output.h"

#include "Mroutine.h"
#include "StateJson.h"

#include <QStringList>

#include <algorithm>
#include <cstdio>

namespace {
QString OnOff(bool b)
{
    return b ? QStringLiteral("on") : QStringLiteral("off");
}

QString ChannelName(std::uint8_t c)
{
    const int i = StateIndexOfChannel(c);
    return i >= 0 ? QString::fromLatin1(StateChannelName(i)) : QStringLiteral("0x%1").arg(c, 2, 16, QLatin1Char('0'));
}

// A ducking setting's byte with what it means, as the window shows it:
// threshold step s is s x 5500 / 255 mV (truncated), hold time 10 ms a step,
// attenuation in steps; the fade speeds have no unit.
QString DuckingValue(int setting, int value)
{
    switch (static_cast<DuckSetting>(setting)) {
    case DuckSetting::Threshold:
        return QStringLiteral("%1 (%2 mV)").arg(value).arg(value * 5500 / 255);
    case DuckSetting::Attenuation:
        return QStringLiteral("%1 steps").arg(value);
    case DuckSetting::HoldTime:
        return QStringLiteral("%1 (%2 ms)").arg(value).arg(value * 10);
    default:
        return QString::number(value);
    }
}

QString Gain(int position)
{
    return position >= kMutePosition ? QStringLiteral("mute") : QString::number(PositionToDb(position), 'f', 1);
}
}  // namespace

QString StateTable(const DeviceState& s)
{
    const QJsonObject json = StateToJson(s);
    QStringList lines{QStringLiteral("%1 %2 %3 %4 %5")
                          .arg(QStringLiteral("channel"), -13)
                          .arg(QStringLiteral("position"), 8)
                          .arg(QStringLiteral("gain_db"), 8)
                          .arg(QStringLiteral("mute"), 5)
                          .arg(QStringLiteral("priority"), 9)};
    for (int i = 0; i < kStateChannels; ++i) {
        const QString prio = i >= kFirstMicIndex ? OnOff(s.priority[i - kFirstMicIndex]) : QString();
        lines << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(QLatin1String(StateChannelName(i)), -13)
                     .arg(s.gain[i], 8)
                     .arg(Gain(s.gain[i]), 8)
                     .arg(OnOff(s.mute[i]), 5)
                     .arg(prio, 9);
    }
    lines << QStringLiteral("ganged        sub %1, master %2").arg(OnOff(s.subGanged), OnOff(s.masterGanged));
    lines << QStringLiteral("line_source   %1").arg(json.value(QLatin1String("line_source")).toString());
    QStringList ducking{QStringLiteral("manual %1").arg(OnOff(s.manualDucking)),
                        QStringLiteral("active %1").arg(OnOff(s.duckingActive))};
    for (int k = 0; k < kDuckSettings; ++k) {
        ducking << QStringLiteral("%1 %2").arg(QLatin1String(DuckSettingName(static_cast<DuckSetting>(k))),
                                               DuckingValue(k, s.ducking[k]));
    }
    lines << QStringLiteral("ducking       ") + ducking.join(QStringLiteral(", "));
    lines << QStringLiteral("switch_on     %1").arg(json.value(QLatin1String("switch_on")).toString());
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QJsonObject EventJson(const ReportEvent& e)
{
    QJsonObject o{{"event", QLatin1String(ReportKindName(e.kind))}};
    switch (e.kind) {
    case ReportKind::Gain:
    case ReportKind::Level:
        o.insert(QStringLiteral("channel"), ChannelName(e.channel));
        o.insert(QStringLiteral("position"), e.value);
        o.insert(QStringLiteral("gain_db"), e.value >= kMutePosition ? QJsonValue() : QJsonValue(PositionToDb(e.value)));
        break;
    case ReportKind::PairLevels:
        o.insert(QStringLiteral("channel"), e.channel == 1 ? QStringLiteral("sub") : QStringLiteral("master"));
        o.insert(QStringLiteral("left"), e.value);
        o.insert(QStringLiteral("right"), e.value2);
        break;
    case ReportKind::Mute:
    case ReportKind::Priority:
        o.insert(QStringLiteral("channel"), ChannelName(e.channel));
        o.insert(QStringLiteral("on"), e.value != 0);
        break;
    case ReportKind::Ganged:
        o.insert(QStringLiteral("pair"), e.channel == 1 ? QStringLiteral("sub") : QStringLiteral("master"));
        o.insert(QStringLiteral("on"), e.value != 0);
        break;
    case ReportKind::DuckState:
        o.insert(QStringLiteral("active"), (e.value & 1) != 0);
        o.insert(QStringLiteral("manual"), (e.value & 2) != 0);
        break;
    case ReportKind::DuckSetting:
        o.insert(QStringLiteral("setting"), QLatin1String(DuckSettingName(e.setting)));
        o.insert(QStringLiteral("value"), e.value);
        break;
    case ReportKind::Ack:
    case ReportKind::Nak:
    case ReportKind::Busy:
    case ReportKind::NoEffect:
        break;
    default:  // line source, switch-on, error code, unknown and short reports
        o.insert(QStringLiteral("value"), e.value);
        o.insert(QStringLiteral("sub"), e.sub);
        break;
    }
    return o;
}

QString EventText(const ReportEvent& e)
{
    const QJsonObject o = EventJson(e);
    QStringList parts{o.value(QLatin1String("event")).toString()};
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (it.key() == QLatin1String("event")) {
            continue;
        }
        const QJsonValue v = it.value();
        const QString text = v.isBool() ? OnOff(v.toBool())
                             : v.isNull() ? QStringLiteral("mute")
                             : v.isString() ? v.toString()
                                            : QString::number(v.toDouble());
        parts << QStringLiteral("%1=%2").arg(it.key(), text);
    }
    return parts.join(QLatin1Char(' '));
}

std::string ProgressLine(int percent, const std::string& text)
{
    constexpr int kBar = 30;
    constexpr std::size_t kText = 28;
    const int p = std::clamp(percent, 0, 100);
    const int done = p * kBar / 100;
    std::string shown = text.substr(0, kText);
    shown.resize(kText, ' ');
    char number[8];
    std::snprintf(number, sizeof number, "%3d%%", p);
    return "\r[" + std::string(static_cast<std::size_t>(done), '#') + std::string(static_cast<std::size_t>(kBar - done), ' ') + "] " +
           number + ' ' + shown;
}
