#include "DeviceState.h"

#include <random>

namespace sim {

bool Settings::Valid() const
{
    for (auto g : stereoGain) {
        if (g > kMaxGain) {
            return false;
        }
    }
    for (auto g : micGain) {
        if (g > kMaxGain) {
            return false;
        }
    }
    return lineSource <= kMaxLineSource && threshold >= kMinThreshold && threshold <= kMaxThreshold
        && attenuation <= kMaxAttenuation && holdTime >= kMinHold && holdTime <= kMaxHold
        && fadeOut <= kMaxFade && fadeIn <= kMaxFade;
}

Settings Settings::Factory()
{
    Settings s;
    s.stereoGain = {10, 0, 0, 0, 0};
    s.micGain.fill(20);
    return s;
}

bool DeviceState::Valid() const
{
    if (!live.Valid() || switchOn > kMaxSwitchOn) {
        return false;
    }
    for (const auto& p : presets) {
        if (!p.Valid()) {
            return false;
        }
    }
    return true;
}

namespace {
Settings RandomSettings(std::mt19937& rng)
{
    auto pick = [&rng](int lo, int hi) {
        return static_cast<std::uint8_t>(std::uniform_int_distribution<int>(lo, hi)(rng));
    };
    auto flag = [&rng]() { return std::uniform_int_distribution<int>(0, 1)(rng) == 1; };
    Settings s;
    for (auto& g : s.stereoGain) {
        g = pick(0, kMaxGain);
    }
    for (auto& g : s.micGain) {
        g = pick(0, kMaxGain);
    }
    for (auto&& m : s.stereoMute) {
        m = flag();
    }
    for (auto&& m : s.micMute) {
        m = flag();
    }
    for (auto&& p : s.priority) {
        p = flag();
    }
    s.lineSource = pick(0, kMaxLineSource);
    s.subGanged = flag();
    s.masterGanged = flag();
    s.manualDucking = flag();
    s.threshold = pick(kMinThreshold, kMaxThreshold);
    s.attenuation = pick(0, kMaxAttenuation);
    s.holdTime = pick(kMinHold, kMaxHold);
    s.fadeOut = pick(0, kMaxFade);
    s.fadeIn = pick(0, kMaxFade);
    return s;
}
}  // namespace

DeviceState DeviceState::Random(std::uint32_t seed)
{
    std::mt19937 rng(seed);
    DeviceState d;
    d.live = RandomSettings(rng);
    for (auto& p : d.presets) {
        p = RandomSettings(rng);
    }
    d.switchOn = static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, kMaxSwitchOn)(rng));
    return d;
}

Settings SwitchOnSettings(const DeviceState& state)
{
    if (state.switchOn >= 1 && state.switchOn <= kPresets) {
        return state.presets[state.switchOn - 1];
    }
    return state.live;
}

}  // namespace sim
