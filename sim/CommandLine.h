// Options of the kestra-sim program.
#pragma once

#include "KestraSim.h"

#include <optional>
#include <string>
#include <vector>

namespace sim {

struct CommandLine {
    SimOptions sim;
    Fault fault;
    std::optional<std::uint32_t> randomSeed;
    int speechPeriodMs = 0;  // 0: speech stays on
    std::string receivedFile;  // every frame received, written there at the end
    bool help = false;
    bool version = false;
    std::string error;  // set when the arguments cannot be used
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);
// "1,3" -> microphones 1 and 3 as a mask; nullopt for anything but numbers 1..6.
std::optional<unsigned> ParseMicList(const std::string& text);
std::optional<Fault> ParseFault(const std::string& text);
std::string HelpText();

}  // namespace sim
