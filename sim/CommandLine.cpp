#include "CommandLine.h"

#include <sstream>

namespace sim {

namespace {

std::optional<long long> Number(const std::string& text, long long lo, long long hi)
{
    if (text.empty()) {
        return std::nullopt;
    }
    std::size_t used = 0;
    long long v = 0;
    try {
        v = std::stoll(text, &used, 10);
    } catch (...) {
        return std::nullopt;
    }
    if (used != text.size() || v < lo || v > hi) {
        return std::nullopt;
    }
    return v;
}

std::vector<std::string> Split(const std::string& text, char sep)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, sep)) {
        parts.push_back(part);
    }
    if (!text.empty() && text.back() == sep) {
        parts.emplace_back();
    }
    return parts;
}

}  // namespace

std::optional<unsigned> ParseMicList(const std::string& text)
{
    unsigned mask = 0;
    const auto parts = Split(text, ',');
    if (parts.empty()) {
        return std::nullopt;
    }
    for (const auto& p : parts) {
        const auto n = Number(p, 1, kMics);
        if (!n) {
            return std::nullopt;
        }
        mask |= 1u << (*n - 1);
    }
    return mask;
}

std::optional<Fault> ParseFault(const std::string& text)
{
    const auto parts = Split(text, ':');
    if (parts.empty() || parts.size() > 3) {
        return std::nullopt;
    }
    static const std::pair<const char*, FaultKind> kKinds[] = {
        {"silence", FaultKind::Silence}, {"noise", FaultKind::Noise}, {"truncate", FaultKind::Truncate},
        {"nak", FaultKind::Nak}, {"busy", FaultKind::Busy}, {"error", FaultKind::Error},
        {"stale", FaultKind::Stale}, {"foreign", FaultKind::Foreign}, {"garble", FaultKind::Garble},
        {"echo", FaultKind::Echo},
    };
    Fault fault;
    bool known = false;
    for (const auto& [name, kind] : kKinds) {
        if (parts[0] == name) {
            fault.kind = kind;
            known = true;
        }
    }
    if (!known) {
        return std::nullopt;
    }
    fault.value = fault.kind == FaultKind::Noise ? 5 : fault.kind == FaultKind::Truncate ? 3 : 0;
    if (parts.size() >= 2) {
        const auto v = Number(parts[1], 0, 255);
        if (!v) {
            return std::nullopt;
        }
        fault.value = static_cast<int>(*v);
    }
    if (parts.size() == 3) {
        const auto c = Number(parts[2], 1, 1'000'000);
        if (!c) {
            return std::nullopt;
        }
        fault.count = static_cast<int>(*c);
    }
    return fault;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine cl;
    for (std::size_t i = 0; i < args.size() && cl.error.empty(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) {
                cl.error = a + " needs a value";
                return std::nullopt;
            }
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            cl.help = true;
        } else if (a == "--version") {
            cl.version = true;
        } else if (a == "--wire-speed") {
            cl.sim.wireSpeed = true;
        } else if (a == "--boot-loader") {
            cl.sim.bootLoader = true;
        } else if (a == "--no-speed-check") {
            cl.sim.checkLineSpeed = false;
        } else if (a == "--device" || a == "--link" || a == "--state" || a == "--received") {
            if (auto v = value()) {
                (a == "--device" ? cl.sim.device : a == "--link" ? cl.sim.linkPath : a == "--state" ? cl.sim.stateFile : cl.receivedFile) = *v;
            }
        } else if (a == "--speech") {
            if (auto v = value()) {
                if (auto mask = ParseMicList(*v)) {
                    cl.sim.speech = *mask;
                } else {
                    cl.error = "--speech takes microphone numbers 1 to 6, e.g. 1,3";
                }
            }
        } else if (a == "--speech-period") {
            if (auto v = value()) {
                if (auto ms = Number(*v, 0, 3'600'000)) {
                    cl.speechPeriodMs = static_cast<int>(*ms);
                } else {
                    cl.error = "--speech-period takes milliseconds";
                }
            }
        } else if (a == "--fault") {
            if (auto v = value()) {
                if (auto f = ParseFault(*v)) {
                    cl.fault = *f;
                } else {
                    cl.error = "--fault takes KIND[:VALUE[:COUNT]], see --help";
                }
            }
        } else if (a == "--answers") {
            if (auto v = value()) {
                std::string why;
                if (auto c = Choices::Parse(*v, &why)) {
                    cl.sim.choices = *c;
                } else {
                    cl.error = "--answers: " + why;
                }
            }
        } else if (a == "--random-state") {
            if (auto v = value()) {
                if (auto seed = Number(*v, 0, 0xFFFFFFFFLL)) {
                    cl.randomSeed = static_cast<std::uint32_t>(*seed);
                } else {
                    cl.error = "--random-state takes a seed number";
                }
            }
        } else {
            cl.error = "unknown option: " + a;
        }
    }
    return cl;
}

std::string HelpText()
{
    return
        "Usage: kestra-sim [options]\n"
        "Simulates a KESTRA mixer (regular firmware at 9600 baud and its boot loader at\n"
        "115200 baud) on a serial line. Without --device it serves a new pseudo-terminal\n"
        "and prints the path for the panel, e.g. \"KESTRA simulator on /dev/pts/5\".\n"
        "Runs until SIGINT or SIGTERM.\n"
        "\n"
        "Options:\n"
        "  --device PATH        serve this serial device instead of a new pseudo-terminal\n"
        "  --link PATH          keep a symbolic link at PATH to the pseudo-terminal\n"
        "  --state FILE         device memory (live state, presets, switch-on setting):\n"
        "                       read at start, rewritten atomically after every change;\n"
        "                       a missing or corrupt file leaves the factory state\n"
        "  --received FILE      at the end, write every frame received to FILE, one a line\n"
        "                       in hexadecimal (what a program sent the device)\n"
        "  --wire-speed         take 10 bits per byte at the baud rate, both directions\n"
        "  --boot-loader        start in the boot loader (serves an interrupted update)\n"
        "  --no-speed-check     answer even when the line is set to another baud rate\n"
        "                       (normally such bytes are garbage to the device)\n"
        "  --speech MICS        speech above the threshold on these microphones, e.g. 1,3:\n"
        "                       ducking sets in as the ducking settings say\n"
        "  --speech-period MS   speech on for MS milliseconds, off for MS, and so on\n"
        "  --random-state SEED  start from a reproducible random state\n"
        "  --fault KIND[:VALUE[:COUNT]]\n"
        "                       misbehave on the next COUNT replies (default: all):\n"
        "                         silence        no reply\n"
        "                         noise:N        N noise bytes before the reply (default 5)\n"
        "                         truncate:N     only the first N bytes of the reply (default 3)\n"
        "                         nak            NAK instead of the reply, command ignored\n"
        "                         busy           busy report (E0), command ignored\n"
        "                         error:N        error report (E1) with code N, command ignored\n"
        "                         stale          the previous reply again before the reply\n"
        "                         foreign:N      a line gain report (position N) before the reply\n"
        "                         garble         the reply with a wrong checksum\n"
        "                         echo           the frame received back before the reply\n"
        "  --answers LIST       answer as another legal KESTRA would; LIST is comma-separated:\n"
        "                         rotated[=N]          inquiry i of the full read draws the reply\n"
        "                                              of inquiry i+N (default 7)\n"
        "                         switch-on-elsewhere  BF 03 draws D8, BF 00 the switch-on report\n"
        "                         ack-for-nothing      ACK where an inquiry would draw D8\n"
        "                                              (at most one of these three)\n"
        "                         settings-acked       settings answered ACK, not their report\n"
        "                         polls-any-report     an idle poll draws some item's report\n"
        "                         busy[=N]             every Nth frame busy, not carried out (5)\n"
        "                         late[=N[:MS]]        every Nth reply MS ms late (7:1500)\n"
        "                         held-reply           an extra reply before the first one after\n"
        "                                              the line opens or a quiet second\n"
        "                         seed=S               where polls and held replies start\n"
        "                       or random:SEED for a reproducible random mix\n"
        "  -h, --help           show this text\n"
        "  --version            show the version\n";
}

}  // namespace sim
