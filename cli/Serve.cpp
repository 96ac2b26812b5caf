#include "Serve.h"

#include "BridgeCore.h"
#include "BridgeServer.h"
#include "Kestractl.h"
#include "RefusalLog.h"
#include "RoomPanel.h"
#include "ShowControl.h"
#include "StopSignals.h"

#include <CLI/CLI.hpp>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QNetworkInterface>

#include <optional>

namespace {

// "127.0.0.1:8080", "[::1]:8080", "0.0.0.0:80", "localhost:8080"; port 0: any free one.
std::optional<QString> ParseListen(const std::string& text, QHostAddress& address, quint16& port)
{
    const QString s = QString::fromStdString(text);
    const qsizetype colon = s.lastIndexOf(QLatin1Char(':'));
    const QString why = QStringLiteral("--listen %1: not ADDR:PORT (e.g. 127.0.0.1:8080, [::1]:8080, 0.0.0.0:8080)").arg(s);
    if (colon <= 0) {
        return why;
    }
    QString host = s.left(colon);
    bool ok = false;
    const uint p = s.mid(colon + 1).toUInt(&ok);
    if (!ok || p > 65535) {
        return why;
    }
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        host = host.mid(1, host.size() - 2);
    } else if (host.contains(QLatin1Char(':'))) {
        return why;  // IPv6 needs its brackets
    }
    if (host == QLatin1String("localhost")) {
        address = QHostAddress(QHostAddress::LocalHost);
    } else if (!address.setAddress(host)) {
        return why;
    }
    port = static_cast<quint16>(p);
    return std::nullopt;
}
// The panel's address for other machines (Home Assistant's link to it): a
// name given with --allow-host, else the listening address, else (listening
// on every address) one of this machine's own.
QString PanelUrl(const ServeOptions& options, quint16 port, const QString& listening)
{
    if (!options.allowedHosts.isEmpty()) {
        const QString name = options.allowedHosts.first();
        return QStringLiteral("http://%1/").arg(name.contains(QLatin1Char(':')) ? name : name + QStringLiteral(":%1").arg(port));
    }
    if (options.address != QHostAddress::Any && options.address != QHostAddress::AnyIPv6 &&
        options.address != QHostAddress::AnyIPv4) {
        return listening;
    }
    for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback() && !a.isLinkLocal()) {
            return QStringLiteral("http://%1:%2/").arg(a.toString()).arg(port);
        }
    }
    return listening;
}
}  // namespace

QString StateDirectory()
{
    const QString service = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    if (!service.isEmpty()) {
        return service;
    }
    const QString xdg = qEnvironmentVariable("XDG_STATE_HOME");
    return (xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/state") : xdg) + QStringLiteral("/kestractl");
}

QString PanelTokenDirectory(const QString& name)
{
    return StateDirectory() + QStringLiteral("/panels/") + name;
}

QStringList ServeUrls(const QHostAddress& address, quint16 port)
{
    auto url = [port](const QHostAddress& a) {
        const bool v6 = a.protocol() == QAbstractSocket::IPv6Protocol;
        return QStringLiteral("http://%1:%2/").arg(v6 ? QStringLiteral("[%1]").arg(a.toString()) : a.toString()).arg(port);
    };
    if (address != QHostAddress::Any && address != QHostAddress::AnyIPv4 && address != QHostAddress::AnyIPv6) {
        return {url(address)};
    }
    QStringList out;
    for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
        // Link-local IPv6 needs its zone, which a browser's address bar does not take.
        const bool family = address == QHostAddress::Any || (address == QHostAddress::AnyIPv4) == (a.protocol() == QAbstractSocket::IPv4Protocol);
        if (family && !(a.protocol() == QAbstractSocket::IPv6Protocol && a.isLinkLocal())) {
            out << url(a);
        }
    }
    return out.isEmpty() ? QStringList{url(QHostAddress(QHostAddress::LocalHost))} : out;
}

CLI::App* AddServeCommand(CLI::App& app, ServeArgs& args)
{
    auto* serve = app.add_subcommand("serve", "Serve the device on the network: web panel and JSON API");
    serve->add_option("--listen", args.listen, "ADDR:PORT to listen on (default 127.0.0.1:8080)");
    serve->add_option("--token", args.token,
                      "Token that changes need (Authorization: Bearer TOKEN, or ?token=); visible to every "
                      "user in the process list: prefer --token-file");
    serve->add_option("--token-file", args.tokenFile,
                      "File whose first line is the token; without a token one is made when listening beyond "
                      "this machine and kept in $STATE_DIRECTORY/token (else ~/.local/state/kestractl/token)")
        ->excludes(serve->get_option("--token"));
    serve->add_option("--allow-host", args.allowHosts,
                      "A name (NAME or NAME:PORT) clients may reach the server by, besides its addresses and "
                      "localhost; repeatable")
        ->allow_extra_args(false);
    serve->add_flag("--private", args.privateRead, "Without the token nothing may be read either");
    serve->add_flag("--read-only", args.readOnly, "Refuse every change");
    serve->add_option("--live-per-address", args.livePerAddress,
                      "Live WebSocket clients one address may hold at once (default 50); behind a reverse proxy "
                      "every client has the proxy's address")
        ->check(CLI::Range(1, 100000));
    serve->add_option("--panel", args.panels,
                      "A room panel file (see `kestractl panel check`), served at /room/NAME/ with a token of its own "
                      "kept in $STATE_DIRECTORY/panels/NAME/token; repeatable")
        ->allow_extra_args(false);
    AddShowControlOptions(*serve, args.show);
    return serve;
}

std::optional<QString> CheckServeArgs(const ServeArgs& args)
{
    QHostAddress address;
    quint16 port = 0;
    if (auto e = ParseListen(args.listen, address, port)) {
        return e;
    }
    return CheckShowControlArgs(args.show);
}

int RunServe(const ServeArgs& args, const QString& portName, std::ostream& out, std::ostream& err)
{
    ServeOptions options;
    if (auto e = ParseListen(args.listen, options.address, options.port)) {
        err << "kestractl: " << e->toStdString() << '\n';
        return kExitUsage;
    }
    options.access.token = QString::fromStdString(args.token);
    options.access.privateRead = args.privateRead;
    options.access.readOnly = args.readOnly;
    options.limits.maxUpgradedPerPeer = args.livePerAddress;
    for (const std::string& h : args.allowHosts) {
        options.allowedHosts << QString::fromStdString(h);
    }
    if (!args.tokenFile.empty()) {
        QFile file(QString::fromStdString(args.tokenFile));
        if (!file.open(QIODevice::ReadOnly)) {
            err << "kestractl: --token-file " << args.tokenFile << ": " << file.errorString().toStdString() << '\n';
            return kExitUsage;
        }
        options.access.token = QString::fromUtf8(file.readLine()).trimmed();
        if (options.access.token.isEmpty()) {
            err << "kestractl: --token-file " << args.tokenFile << ": no token on its first line\n";
            return kExitUsage;
        }
    }
    // Beyond this machine nobody may change the mixer without the token. One
    // made here is kept, so that stored pages and scripts keep working.
    QString tokenPath;
    if (options.access.token.isEmpty() && (!IsLoopback(options.address) || args.privateRead)) {
        const QString dir = StateDirectory();
        QString why;
        options.access.token = KeptToken(dir, &why);
        if (options.access.token.isEmpty()) {
            err << "kestractl: token: " << why.toStdString() << '\n';
            return kExitUsage;
        }
        tokenPath = QDir(dir).filePath(QStringLiteral("token"));
    }

    // A panel that cannot be read whole, or whose token cannot be kept, would
    // not be enforced: the server does not start without it.
    for (const std::string& file : args.panels) {
        RoomPanel panel;
        if (auto e = ReadRoomPanel(QString::fromStdString(file), panel)) {
            err << "kestractl: --panel " << e->toStdString() << '\n';
            return kExitUsage;
        }
        for (const RoomPanel& other : options.panels) {
            if (other.name == panel.name) {
                err << "kestractl: --panel " << file << ": a second panel named \"" << panel.name.toStdString() << "\"\n";
                return kExitUsage;
            }
        }
        QString why;
        panel.token = KeptToken(PanelTokenDirectory(panel.name), &why);
        if (panel.token.isEmpty()) {
            err << "kestractl: --panel " << file << ": token: " << why.toStdString() << '\n';
            return kExitUsage;
        }
        options.panels.push_back(std::move(panel));
    }

    // Listening does not wait for the device: until its state is read, clients
    // get "offline" (503) with the reason; the port is tried every second.
    BridgeCore core(portName);
    core.Open();
    BridgeServer server(core, options);
    QString why;
    if (!server.Start(&why)) {
        err << "kestractl: " << why.toStdString() << '\n';
        return kExitUsage;
    }
    const QStringList urls = ServeUrls(options.address, server.Port());
    const QString url = urls.value(0);
    const QString panelUrl = PanelUrl(options, server.Port(), url);
    if (!tokenPath.isEmpty()) {
        // The log may be read by others: only enough of the token to tell which one.
        out << "token: in " << tokenPath.toStdString() << " (" << options.access.token.left(4).toStdString()
            << "...; open " << urls.join(QStringLiteral("?token=TOKEN or ")).toStdString() << "?token=TOKEN once)\n";
    }
    QString showWhy;
    const std::unique_ptr<ShowControl> show = StartShowControl(core, args.show, args.readOnly, panelUrl, out, &showWhy);
    if (!show && !showWhy.isEmpty()) {
        err << "kestractl: " << showWhy.toStdString() << '\n';
        return kExitUsage;
    }
    if (show) {
        server.SetMetricsGauges([s = show.get()](MetricsGauges& g) {
            if (s->Osc() != nullptr) {
                g.oscSubscribers = s->Osc()->Subscribers();
            }
            if (s->Mqtt() != nullptr) {
                g.mqttConnected = s->Mqtt()->Connected();
            }
        });
    }
    for (const RoomPanel& panel : options.panels) {
        out << "room panel " << panel.name.toStdString() << ": " << url.toStdString() << "room/" << panel.name.toStdString()
            << "/ (its address with its token: kestractl panel url " << panel.name.toStdString() << ")\n";
    }
    out << "serving " << portName.toStdString() << " on " << urls.join(QStringLiteral(", ")).toStdString() << " (Ctrl+C stops)\n"
        << std::flush;

    // Ctrl+C and the service manager's stop end the event loop, so that the
    // port is closed in order.
    const QuitOnStopRequest stop;
    if (!stop.Ready()) {
        err << "kestractl: cannot set up signal handling\n";
        return kExitDevice;
    }
    RefusalLog refusals;
    QObject::connect(&server, &BridgeServer::refused, &server, [&refusals](const QString& line) { refusals.Write(line); });
    QObject::connect(&core, &BridgeCore::onlineChanged, &core, [&err, &core, lost = false](bool online) mutable {
        if (!online) {
            err << "kestractl: " << core.LastError().toStdString() << " (reconnecting)\n" << std::flush;
        } else if (lost) {
            err << "kestractl: " << core.PortName().toStdString() << ": the device answers again\n" << std::flush;
        } else {
            err << "kestractl: " << core.PortName().toStdString() << ": online, state read\n" << std::flush;
        }
        lost = !online;
    });
    QCoreApplication::exec();
    return kExitOk;
}
