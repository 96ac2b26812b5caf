#include "Panel.h"

#include "Access.h"
#include "Kestractl.h"
#include "QrText.h"
#include "RoomPanel.h"
#include "Serve.h"

#include <CLI/CLI.hpp>

#include <QNetworkInterface>
#include <QRegularExpression>

#include <unistd.h>

namespace {
// This machine's address on the network, for a tablet: the first that is
// neither loopback nor link-local.
QString OwnAddress()
{
    for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback() && !a.isLinkLocal()) {
            return a.toString();
        }
    }
    return QStringLiteral("127.0.0.1");
}
}  // namespace

CLI::App* AddPanelCommand(CLI::App& app, PanelArgs& args)
{
    auto* panel = app.add_subcommand("panel", "Room panels for `serve --panel FILE`: check a file, or print a panel's address");
    panel->require_subcommand(1, 1);
    auto* check = panel->add_subcommand("check", "Check a room panel file and print what it allows");
    check->add_option("FILE", args.file)->required();
    auto* url = panel->add_subcommand("url", "Print the address of room panel NAME with its token, for the room's tablet");
    url->add_option("NAME", args.name)->required();
    url->add_option("--host", args.host,
                    "HOST[:PORT] the tablet reaches the server by (default: this machine's address, port 8080)");
    url->add_flag("--qr", args.qr, "Draw the address as a QR code too (the default on a terminal)");
    return panel;
}

int RunPanel(const CLI::App& panel, const PanelArgs& args, std::ostream& out, std::ostream& err)
{
    if (panel.got_subcommand("check")) {
        RoomPanel p;
        if (auto e = ReadRoomPanel(QString::fromStdString(args.file), p)) {
            err << "kestractl: " << e->toStdString() << '\n';
            return kExitUsage;
        }
        out << p.Summary().toStdString();
        return kExitOk;
    }
    const QString name = QString::fromStdString(args.name);
    static const QRegularExpression form(QStringLiteral("^[a-z0-9][a-z0-9-]{0,31}$"));
    if (!form.match(name).hasMatch()) {
        err << "kestractl: panel url: \"" << args.name << "\" is no panel name (1 to 32 of a-z, 0-9 and \"-\")\n";
        return kExitUsage;
    }
    QString host = args.host.empty() ? OwnAddress() : QString::fromStdString(args.host);
    if (!host.contains(QLatin1Char(':')) || host.endsWith(QLatin1Char(']'))) {
        host += QStringLiteral(":8080");
    }
    QString why;
    const QString token = KeptToken(PanelTokenDirectory(name), &why);
    if (token.isEmpty()) {
        err << "kestractl: panel url: " << why.toStdString() << '\n';
        return kExitDevice;
    }
    const std::string url = QStringLiteral("http://%1/room/%2/?token=%3").arg(host, name, token).toStdString();
    out << url << '\n';
    if (args.qr || ::isatty(STDOUT_FILENO) == 1) {
        out << QrText(url);
    }
    return kExitOk;
}
