// `kestractl serve`: the device on the network (bridge/). Registered on
// kestractl's command line here, so that options of the server's own
// (listening, token, read-only, ...) stay out of Kestractl.cpp.
#pragma once

#include "HttpFramer.h"
#include "ServeShowControl.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace CLI {
class App;
}

struct ServeArgs {
    std::string listen = "127.0.0.1:8080";
    std::string token;
    std::string tokenFile;
    std::vector<std::string> allowHosts;
    bool privateRead = false;
    bool readOnly = false;
    std::vector<std::string> panels;  // room panel files
    int livePerAddress = HttpLimits{}.maxUpgradedPerPeer;
    ShowControlArgs show;  // --osc, --mqtt...
};

// Adds the subcommand and its options, filling `args` when parsed.
CLI::App* AddServeCommand(CLI::App& app, ServeArgs& args);

// Checks the options (a usage error is returned as text, nothing started).
std::optional<QString> CheckServeArgs(const ServeArgs& args);

// Where tokens made here are kept: the service's state directory
// (StateDirectory= in the unit), else the user's.
QString StateDirectory();
// The directory of room panel NAME's kept token.
QString PanelTokenDirectory(const QString& name);

// The panel's addresses as printed: the listening address, or (listening on
// all) each of this machine's, for "0.0.0.0" is no address a browser opens.
QStringList ServeUrls(const QHostAddress& address, quint16 port);

// Serves `port` until SIGINT or SIGTERM; the kestractl exit code.
int RunServe(const ServeArgs& args, const QString& port, std::ostream& out, std::ostream& err);
