// `kestractl doctor`: polls one line for a while, at the panel's idle pace,
// and turns what came back into figures and advice.
#include "Find.h"

#include "InterruptedUpdate.h"
#include "PortProbe.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>

namespace {

constexpr int kPollPeriodMs = 100;  // the window polls ten times a second when idle
constexpr int kLeftoverWaitMs = 300;
constexpr int kPollBytes = 8;  // 10 02 01 01 05 10 03 04

struct Figures {
    int polls = 0;
    int answered = 0;
    int lost = 0;
    int garbled = 0;
    int echoes = 0;
    int noise = 0;
    int bytes = 0;     // everything heard
    int unasked = 0;   // frames between polls
    int repeats = 0;   // of those, copies of an earlier reply
    int leftovers = 0; // bytes that came before anything was sent
    std::vector<int> times;
    bool lineFailed = false;
};

QStringList Advice(const Figures& f, const QString& port)
{
    QStringList a;
    if (f.lineFailed) {
        a << QStringLiteral("The port went away while being looked at: an adapter unplugged, or its device server "
                            "closed the connection.");
    }
    if (f.answered == 0 && f.bytes == 0) {
        a << QStringLiteral("Nothing answered. Check that the KESTRA is switched on, that the cable reaches its "
                            "RS-232 socket (a null-modem cable or adapter may be needed), and that this is its "
                            "port (kestractl find).");
        const std::optional<QDateTime> update = InterruptedUpdateOn(port);
        a << (update ? QStringLiteral("A firmware update on this port began %1 and did not finish: the KESTRA waits "
                                      "in its boot loader, which answers nothing at 9600 baud. Finish the update with "
                                      " kestractl --port %2 update --boot-loader IMAGE.")
                           .arg(update->toString(Qt::ISODate), port)
                     : QStringLiteral("If a firmware update was interrupted, the KESTRA may wait in its boot loader, "
                                      "which answers nothing at 9600 baud: finish the update with  kestractl --port %1 "
                                      "update --boot-loader IMAGE.")
                           .arg(port));
    } else if (f.answered == 0 && f.echoes > 0 && f.bytes == f.echoes * kPollBytes) {
        a << QStringLiteral("Only our own frames came back: a loopback plug, or a half-duplex (RS-485 style) "
                            "adapter with no KESTRA behind it. Use an RS-232 adapter and cable to the KESTRA.");
    } else if (f.answered == 0) {
        a << QStringLiteral("Bytes came, but no whole KESTRA frame: frames cut short, another device on this port, "
                            "or the line runs at another speed than 9600 baud (check a device server's port "
                            "settings).");
    }
    if (f.answered > 0 && f.lost > 0) {
        a << QStringLiteral("%1 of %2 polls went unanswered: a loose contact, a long or unshielded cable, or "
                            "another program reading the same port.")
                 .arg(f.lost)
                 .arg(f.polls);
    }
    if (f.garbled > 0 || (f.answered > 0 && f.noise > 0)) {
        a << QStringLiteral("Damaged frames or noise: check the cable and its screen, keep it away from mains and "
                            "dimmer lines, and check the ground between the devices.");
    }
    if (f.answered > 0 && f.echoes > 0) {
        a << QStringLiteral("The adapter echoes what is sent (half-duplex): the panel copes, but an RS-232 adapter "
                            "is better.");
    }
    if (f.unasked > 0 || f.leftovers > 0) {
        a << QStringLiteral("Frames came that nothing asked for%1: a device server (ser2net, NPort) keeps old "
                            "replies in its buffer, or another program polls the same KESTRA. Clear the server's "
                            "buffer or stop the other program.")
                 .arg(f.repeats > 0 ? QStringLiteral(", some of them copies of earlier replies") : QString());
    }
    return a;
}

int Median(std::vector<int> v)
{
    if (v.empty()) {
        return -1;
    }
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

}  // namespace

int RunDoctor(const LineArgs& args, const std::vector<std::string>& ports, bool json, std::ostream& out,
              std::ostream& err)
{
    if (ports.size() != 1) {
        err << "kestractl: doctor: one port (--port NAME); kestractl find lists them\n";
        return 2;
    }
    const QString port = QString::fromStdString(ports.front());
    comm::PortProbe probe(port);
    comm::ProbeResult failure;
    failure.port = failure.name = port;
    if (!probe.Open(&failure)) {
        if (json) {
            out << QJsonDocument(QJsonObject{{"port", port},
                                             {"opens", false},
                                             {"result", QLatin1String(comm::OutcomeName(failure.outcome))},
                                             {"text", comm::ResultText(failure)},
                                             {"healthy", false}})
                       .toJson()
                       .toStdString();
        } else {
            out << port.toStdString() << ": does not open: " << comm::ResultText(failure).toStdString() << '\n';
        }
        return 1;
    }
    if (!json) {
        out << "Looking at " << port.toStdString() << " for " << args.forMs / 1000.0
            << " s at 9600 baud 8N1 (polls only: nothing that changes the device)...\n"
            << std::flush;
    }
    Figures f;
    probe.Idle(kLeftoverWaitMs);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < args.forMs && !f.lineFailed) {
        const qint64 start = clock.elapsed();
        const comm::PollExchange x = probe.Poll(args.pollWaitMs);
        if (f.polls == 0) {
            f.leftovers = x.between;
        } else {
            f.unasked += x.extraFrames;
            f.repeats += x.repeats;
        }
        f.lineFailed = x.lineFailed;
        if (x.lineFailed && !x.answered) {
            break;
        }
        ++f.polls;
        f.answered += x.answered ? 1 : 0;
        f.garbled += x.garbled ? 1 : 0;
        f.lost += !x.answered && !x.garbled ? 1 : 0;
        f.echoes += x.echoed ? 1 : 0;
        f.noise += x.noise;
        f.bytes += x.bytes + x.between;
        if (x.answered) {
            f.times.push_back(x.replyMs);
        }
        probe.Idle(static_cast<int>(std::max<qint64>(0, kPollPeriodMs - (clock.elapsed() - start))));
    }
    // Frames that came after the last poll count as well.
    const comm::PollExchange last = probe.Poll(args.pollWaitMs);
    f.unasked += last.extraFrames;
    f.repeats += last.repeats;
    probe.Close();

    const QStringList advice = Advice(f, port);
    const bool healthy = advice.isEmpty() && f.answered == f.polls && f.polls > 0;
    const int median = Median(f.times);
    const int worst = f.times.empty() ? -1 : *std::max_element(f.times.begin(), f.times.end());
    if (json) {
        QJsonObject o{{"port", port},          {"opens", true},           {"polls", f.polls},
                      {"answered", f.answered}, {"lost", f.lost},          {"garbled", f.garbled},
                      {"noise_bytes", f.noise}, {"echoes", f.echoes},      {"unasked_frames", f.unasked},
                      {"repeats", f.repeats},   {"leftover_bytes", f.leftovers}, {"healthy", healthy},
                      {"advice", QJsonArray::fromStringList(advice)}};
        if (median >= 0) {
            o.insert(QStringLiteral("reply_ms"), QJsonObject{{"median", median}, {"worst", worst}});
        }
        out << QJsonDocument(o).toJson(QJsonDocument::Indented).toStdString();
        return healthy ? 0 : 1;
    }
    const auto row = [&out](const char* what, const QString& value) {
        out << "  " << QString::fromLatin1(what).leftJustified(18).toStdString() << value.toStdString() << '\n';
    };
    row("opens", QStringLiteral("yes"));
    row("answers", QStringLiteral("%1 of %2 polls").arg(f.answered).arg(f.polls));
    row("reply time", median < 0 ? QStringLiteral("-")
                                 : QStringLiteral("median %1 ms, worst %2 ms").arg(median).arg(worst));
    row("lost, garbled", QStringLiteral("%1 lost, %2 garbled").arg(f.lost).arg(f.garbled));
    row("noise", QStringLiteral("%1 byte(s) outside frames").arg(f.noise));
    row("echo", f.echoes > 0 ? QStringLiteral("%1 of our own frames came back").arg(f.echoes) : QStringLiteral("none"));
    row("unasked frames", QStringLiteral("%1 (%2 copies of earlier replies), %3 byte(s) waiting at the start")
                              .arg(f.unasked)
                              .arg(f.repeats)
                              .arg(f.leftovers));
    out << (healthy ? "The line is healthy.\n" : "The line is not healthy:\n");
    for (const QString& line : advice) {
        out << "  - " << line.toStdString() << '\n';
    }
    return healthy ? 0 : 1;
}
