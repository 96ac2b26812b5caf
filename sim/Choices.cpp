#include "Choices.h"

#include <charconv>
#include <random>

namespace sim {

namespace {

constexpr int kReadLength = 49;
constexpr int kMaxEvery = 1'000'000;
constexpr int kMaxLateMs = 600'000;

struct InquiryName {
    const char* name;
    Choices::Inquiries kind;
};
constexpr InquiryName kInquiryNames[] = {
    {"own", Choices::Inquiries::Own},
    {"rotated", Choices::Inquiries::Rotated},
    {"switch-on-elsewhere", Choices::Inquiries::SwitchOnElsewhere},
    {"ack-for-nothing", Choices::Inquiries::AckForNothing},
};

struct FlagName {
    const char* name;
    bool Choices::*field;
};
constexpr FlagName kFlagNames[] = {
    {"settings-acked", &Choices::settingsAcked},
    {"polls-any-report", &Choices::pollsAnyReport},
    {"held-reply", &Choices::holdsEarlierReply},
};

std::optional<long long> Number(std::string_view text, long long lo, long long hi)
{
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi) {
        return std::nullopt;
    }
    return v;
}

std::string Range(long long lo, long long hi) { return std::to_string(lo) + " to " + std::to_string(hi); }

}  // namespace

std::vector<std::pair<std::string, Choices>> Choices::Each()
{
    std::vector<std::pair<std::string, Choices>> each;
    for (const auto& n : kInquiryNames) {
        Choices c;
        c.inquiries = n.kind;
        each.emplace_back(n.name, c);
    }
    for (const auto& f : kFlagNames) {
        Choices c;
        c.*f.field = true;
        each.emplace_back(f.name, c);
    }
    // In the order the choices are listed in Choices.h.
    Choices busy;
    busy.busyEvery = 5;
    each.insert(each.end() - 1, {"busy", busy});
    Choices late;
    late.lateEvery = 7;
    late.lateMs = 1500;
    each.insert(each.end() - 1, {"late", late});
    return each;
}

Choices Choices::Random(std::uint32_t seed)
{
    // mt19937's output is the same everywhere; the standard distributions are not.
    std::mt19937 rng(seed);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    Choices c;
    c.seed = seed;
    c.inquiries = static_cast<Inquiries>(pick(4));
    c.rotation = 1 + pick(kReadLength - 1);
    if (c.inquiries != Inquiries::Rotated) {
        c.rotation = Choices{}.rotation;
    }
    c.settingsAcked = pick(2) == 1;
    c.pollsAnyReport = pick(2) == 1;
    c.busyEvery = pick(2) == 1 ? 3 + pick(10) : 0;
    // Each late reply costs a test at least its delay: rare, and past a
    // 1 s exchange deadline.
    if (pick(3) == 0) {
        c.lateEvery = 20 + pick(40);
        c.lateMs = 1500 + 100 * pick(11);
    }
    c.holdsEarlierReply = pick(2) == 1;
    return c;
}

std::optional<Choices> Choices::Parse(std::string_view text, std::string* error)
{
    auto fail = [error](std::string why) -> std::optional<Choices> {
        if (error) {
            *error = std::move(why);
        }
        return std::nullopt;
    };
    constexpr std::string_view kRandom = "random:";
    if (text.substr(0, kRandom.size()) == kRandom) {
        const auto seed = Number(text.substr(kRandom.size()), 0, 0xFFFFFFFFLL);
        if (!seed) {
            return fail("random: takes a seed number, e.g. random:12");
        }
        return Random(static_cast<std::uint32_t>(*seed));
    }
    if (text.empty()) {
        return fail("no choice given, e.g. rotated,busy=5");
    }
    Choices c;
    bool inquiryChosen = false;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        const std::string_view item = text.substr(from, comma - from);
        from = comma + 1;
        const std::size_t eq = item.find('=');
        const std::string_view name = item.substr(0, eq);
        const std::optional<std::string_view> value =
            eq == std::string_view::npos ? std::nullopt : std::optional(item.substr(eq + 1));
        // Appended, not "..." + string: GCC 12 at -O3 warns falsely on that (-Wrestrict).
        std::string quoted(1, '"');
        quoted.append(item).push_back('"');
        bool known = false;
        for (const auto& n : kInquiryNames) {
            if (name != n.name) {
                continue;
            }
            if (inquiryChosen) {
                return fail(quoted + ": only one of own, rotated, switch-on-elsewhere, ack-for-nothing");
            }
            inquiryChosen = known = true;
            c.inquiries = n.kind;
            if (value) {
                const auto r = n.kind == Inquiries::Rotated ? Number(*value, 1, kReadLength - 1) : std::nullopt;
                if (!r) {
                    return fail(quoted + ": rotated=N takes N from " + Range(1, kReadLength - 1)
                                + "; the others take no value");
                }
                c.rotation = static_cast<int>(*r);
            }
        }
        for (const auto& f : kFlagNames) {
            if (name == f.name) {
                if (value) {
                    return fail(quoted + ": " + f.name + " takes no value");
                }
                c.*f.field = known = true;
            }
        }
        if (name == "busy") {
            const auto n = value ? Number(*value, kMinBusyEvery, kMaxEvery) : std::optional<long long>(5);
            if (!n) {
                return fail(quoted + ": busy=N takes N from " + Range(kMinBusyEvery, kMaxEvery));
            }
            c.busyEvery = static_cast<int>(*n);
            known = true;
        } else if (name == "late") {
            const std::string_view v = value.value_or("7:1500");
            const std::size_t colon = v.find(':');
            const auto n = Number(v.substr(0, colon), 1, kMaxEvery);
            const auto ms = colon == std::string_view::npos ? std::optional<long long>(1500)
                                                            : Number(v.substr(colon + 1), 1, kMaxLateMs);
            if (!n || !ms) {
                return fail(quoted + ": late=N[:MS] takes N from " + Range(1, kMaxEvery) + " and MS from "
                            + Range(1, kMaxLateMs));
            }
            c.lateEvery = static_cast<int>(*n);
            c.lateMs = static_cast<int>(*ms);
            known = true;
        } else if (name == "seed") {
            const auto s = value ? Number(*value, 0, 0xFFFFFFFFLL) : std::nullopt;
            if (!s) {
                return fail(quoted + ": seed=S takes a number");
            }
            c.seed = static_cast<std::uint32_t>(*s);
            known = true;
        }
        if (!known) {
            return fail("unknown choice " + quoted
                        + " (own, rotated[=N], switch-on-elsewhere, ack-for-nothing, settings-acked, "
                          "polls-any-report, busy[=N], late[=N[:MS]], held-reply, seed=S, random:S)");
        }
    }
    return c;
}

std::string Choices::Text() const
{
    std::string text;
    auto add = [&text](const std::string& item) { text += (text.empty() ? "" : ",") + item; };
    if (inquiries != Inquiries::Own) {
        for (const auto& n : kInquiryNames) {
            if (n.kind == inquiries) {
                add(n.name);
            }
        }
        if (inquiries == Inquiries::Rotated && rotation != Choices{}.rotation) {
            text.push_back('=');
            text += std::to_string(rotation);
        }
    }
    for (const auto& f : kFlagNames) {
        if (this->*f.field) {
            add(f.name);
        }
    }
    if (busyEvery > 0) {
        add("busy=" + std::to_string(busyEvery));
    }
    if (lateEvery > 0) {
        add("late=" + std::to_string(lateEvery) + ":" + std::to_string(lateMs));
    }
    if (seed != 0) {
        add("seed=" + std::to_string(seed));
    }
    return text.empty() ? "own" : text;
}

}  // namespace sim
