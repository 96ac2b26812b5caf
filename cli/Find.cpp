#include "Find.h"

#include "PortProbe.h"

#include <CLI/CLI.hpp>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

void AddLineCommands(CLI::App& app, LineArgs& args)
{
    auto* find = app.add_subcommand(
        "find", "Look for the KESTRA on every detected port, COM1..COM8's devices and the --port ones, all at "
                "once, with one poll each (nothing else is sent); say per port what answered or why not");
    find->add_flag("--only", args.only, "Look only at the --port ones");
    find->add_option("--wait", args.waitMs, "Milliseconds each poll waits for its reply (default 800)")
        ->check(CLI::Range(50, 60000));
    auto* doctor = app.add_subcommand(
        "doctor", "Look at one line (--port) for a while with polls only: opens, answers, reply times, lost or "
                  "garbled frames, noise, echo, leftovers; plain advice; exit 0 only when healthy");
    doctor->add_option("--for", args.forMs, "Milliseconds to look (default 60000)")->check(CLI::Range(100, 3600000));
    doctor->add_option("--wait", args.pollWaitMs, "Milliseconds each poll waits for its reply (default 500)")
        ->check(CLI::Range(50, 60000));
}

int RunFind(const LineArgs& args, const std::vector<std::string>& ports, const std::vector<std::string>& shownAs,
            bool json, std::ostream& out)
{
    QStringList given;
    for (const std::string& p : ports) {
        given << QString::fromStdString(p);
    }
    QStringList labels;
    const QStringList names = comm::SearchCandidates(given, args.only, &labels);
    for (qsizetype i = 0; i < names.size(); ++i) {
        const qsizetype g = given.indexOf(names[i]);
        if (g >= 0 && static_cast<std::size_t>(g) < shownAs.size()) {
            labels[i] = QString::fromStdString(shownAs[static_cast<std::size_t>(g)]);
        }
    }
    const std::vector<comm::ProbeResult> results = comm::ProbePorts(names, labels, args.waitMs);

    QStringList found;
    for (const comm::ProbeResult& r : results) {
        if (r.outcome == comm::ProbeOutcome::Answers) {
            found << r.name;
        }
    }
    if (json) {
        QJsonArray list;
        for (const comm::ProbeResult& r : results) {
            QJsonObject o{{"port", r.port}, {"name", r.name}, {"result", QLatin1String(comm::OutcomeName(r.outcome))},
                          {"text", comm::ResultText(r)}};
            if (r.outcome == comm::ProbeOutcome::Answers) {
                o.insert(QStringLiteral("reply_ms"), r.replyMs);
            }
            if (r.bytes > 0) {
                o.insert(QStringLiteral("bytes"), r.bytes);
            }
            if (r.echoed) {
                o.insert(QStringLiteral("echo"), true);
            }
            for (const auto& [key, value] : {std::pair{"holder", r.holder}, {"group", r.group}, {"detail", r.detail}}) {
                if (!value.isEmpty()) {
                    o.insert(QLatin1String(key), value);
                }
            }
            list.append(o);
        }
        out << QJsonDocument(QJsonObject{{"found", QJsonArray::fromStringList(found)}, {"ports", list}})
                   .toJson(QJsonDocument::Indented)
                   .toStdString();
        return found.isEmpty() ? 1 : 0;
    }
    qsizetype width = 0;
    for (const comm::ProbeResult& r : results) {
        width = std::max(width, r.port.size());
    }
    out << "Looked for a KESTRA on " << results.size() << " port(s) at 9600 baud 8N1, one poll each:\n";
    for (const comm::ProbeResult& r : results) {
        out << "  " << r.port.leftJustified(width).toStdString() << "  " << comm::ResultText(r).toStdString() << '\n';
    }
    if (found.isEmpty()) {
        out << "No KESTRA answered. Check that it is switched on and cabled (a null-modem cable or adapter may be "
               "needed), then run  kestractl --port NAME doctor  on the port it hangs on.\n";
        return 1;
    }
    out << "KESTRA found on " << found.join(QStringLiteral(", ")).toStdString() << ": use  kestractl --port "
        << found.front().toStdString() << " get  or choose it in the window's port list.\n";
    return 0;
}
