// `kestractl find` and `kestractl doctor`: where is the KESTRA, and what is
// wrong with the line when it does not answer. Both send nothing but polls.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace CLI {
class App;
}

struct LineArgs {
    bool only = false;        // find: just the --port ones
    int waitMs = 800;         // find: how long one poll waits for its reply
    int forMs = 60000;        // doctor: how long to look
    int pollWaitMs = 500;     // doctor: how long each poll waits
};

void AddLineCommands(CLI::App& app, LineArgs& args);

// Exit 0 when a KESTRA answered somewhere, 1 when none did. labels: how the
// given ports are shown ("demo" for the demo device's pseudo-terminal).
int RunFind(const LineArgs& args, const std::vector<std::string>& ports, const std::vector<std::string>& labels,
            bool json, std::ostream& out);
// Exit 0 only when the line is healthy; 2 without exactly one port.
int RunDoctor(const LineArgs& args, const std::vector<std::string>& ports, bool json, std::ostream& out,
              std::ostream& err);
