// `kestractl panel check FILE` and `kestractl panel url NAME`: a room panel
// file checked before `serve --panel` takes it, and the address (with the
// panel's token) to open on the room's tablet.
#pragma once

#include <ostream>
#include <string>

namespace CLI {
class App;
}

struct PanelArgs {
    std::string file;
    std::string name;
    std::string host;  // HOST[:PORT] the tablet reaches the server by
    bool qr = false;
};

CLI::App* AddPanelCommand(CLI::App& app, PanelArgs& args);
// The kestractl exit code.
int RunPanel(const CLI::App& panel, const PanelArgs& args, std::ostream& out, std::ostream& err);
