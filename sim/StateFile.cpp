#include "StateFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace sim {

namespace {

constexpr const char* kMagic = "kestra-sim-state";
constexpr int kVersion = 1;
constexpr std::size_t kSettingNumbers = 37;

std::vector<int> ToNumbers(const Settings& s)
{
    std::vector<int> n;
    for (auto g : s.stereoGain) n.push_back(g);
    for (auto g : s.micGain) n.push_back(g);
    for (bool m : s.stereoMute) n.push_back(m);
    for (bool m : s.micMute) n.push_back(m);
    for (bool p : s.priority) n.push_back(p);
    for (int v : {int(s.lineSource), int(s.subGanged), int(s.masterGanged), int(s.manualDucking), int(s.threshold),
             int(s.attenuation), int(s.holdTime), int(s.fadeOut), int(s.fadeIn)}) {
        n.push_back(v);
    }
    return n;
}

std::optional<Settings> FromNumbers(const std::vector<int>& n)
{
    if (n.size() != kSettingNumbers) {
        return std::nullopt;
    }
    for (int v : n) {
        if (v < 0 || v > 255) {
            return std::nullopt;
        }
    }
    std::size_t i = 0;
    auto byte = [&] { return static_cast<std::uint8_t>(n[i++]); };
    auto flag = [&]() -> std::optional<bool> {
        const int v = n[i++];
        if (v > 1) {
            return std::nullopt;
        }
        return v == 1;
    };
    Settings s;
    bool ok = true;
    auto take = [&](auto& array) {
        for (auto&& f : array) {
            auto v = flag();
            ok = ok && v.has_value();
            f = v.value_or(false);
        }
    };
    for (auto& g : s.stereoGain) g = byte();
    for (auto& g : s.micGain) g = byte();
    take(s.stereoMute);
    take(s.micMute);
    take(s.priority);
    s.lineSource = byte();
    std::array<bool, 3> flags{};
    take(flags);
    s.subGanged = flags[0];
    s.masterGanged = flags[1];
    s.manualDucking = flags[2];
    s.threshold = byte();
    s.attenuation = byte();
    s.holdTime = byte();
    s.fadeOut = byte();
    s.fadeIn = byte();
    if (!ok || !s.Valid()) {
        return std::nullopt;
    }
    return s;
}

void WriteLine(std::ostringstream& out, const char* key, const Settings& s)
{
    out << key;
    for (int v : ToNumbers(s)) {
        out << ' ' << v;
    }
    out << '\n';
}

}  // namespace

std::string FormatState(const DeviceState& state)
{
    std::ostringstream out;
    out << kMagic << ' ' << kVersion << '\n';
    WriteLine(out, "live", state.live);
    for (int p = 0; p < kPresets; ++p) {
        WriteLine(out, ("preset" + std::to_string(p + 1)).c_str(), state.presets[p]);
    }
    out << "switchon " << int(state.switchOn) << '\n';
    return out.str();
}

std::optional<DeviceState> ParseState(const std::string& text)
{
    std::istringstream in(text);
    std::string magic;
    int version = 0;
    if (!(in >> magic >> version) || magic != kMagic || version != kVersion) {
        return std::nullopt;
    }
    DeviceState state;
    // Each record exactly once: a file missing one is as corrupt as a garbled one.
    unsigned seen = 0;
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        if (line.empty()) {
            continue;
        }
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        std::vector<int> numbers;
        std::string token;
        while (fields >> token) {
            std::size_t used = 0;
            int v = 0;
            try {
                v = std::stoi(token, &used);
            } catch (...) {
                return std::nullopt;
            }
            if (used != token.size()) {
                return std::nullopt;
            }
            numbers.push_back(v);
        }
        unsigned bit = 0;
        if (key == "switchon") {
            if (numbers.size() != 1 || numbers[0] < 0 || numbers[0] > kMaxSwitchOn) {
                return std::nullopt;
            }
            state.switchOn = static_cast<std::uint8_t>(numbers[0]);
            bit = 1u << 4;
        } else {
            auto settings = FromNumbers(numbers);
            if (!settings) {
                return std::nullopt;
            }
            if (key == "live") {
                state.live = *settings;
                bit = 1u;
            } else if (key.size() == 7 && key.rfind("preset", 0) == 0 && key[6] >= '1' && key[6] <= '3') {
                const int p = key[6] - '1';
                state.presets[p] = *settings;
                bit = 2u << p;
            } else {
                return std::nullopt;
            }
        }
        if (seen & bit) {
            return std::nullopt;
        }
        seen |= bit;
    }
    if (seen != 0x1F) {
        return std::nullopt;
    }
    return state;
}

std::optional<DeviceState> LoadStateFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseState(text.str());
}

bool SaveStateFile(const std::string& path, const DeviceState& state)
{
    const std::string text = FormatState(state);
    // Named per process: two simulators on one file never write the same temporary.
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    std::size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    // filesystem::rename, unlike std::rename on Windows, replaces the old file.
    std::error_code renamed;
    if (ok) {
        std::filesystem::rename(temp, path, renamed);
    }
    if (!ok || renamed) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace sim
