// The device's memory on disk: whole or not at all.
#include "Commands.h"
#include "KestraSim.h"
#include "SimTestUtil.h"
#include "StateFile.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using sim::DeviceState;

namespace {

class StateFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("kestra-sim-test-" + std::to_string(::getpid()) + "-"
                                            + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "state").string();
    }
    void TearDown() override { fs::remove_all(dir_); }
    void Write(const std::string& text)
    {
        std::ofstream(path_, std::ios::binary) << text;
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(StateFileTest, RoundTripsEveryItem)
{
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        const DeviceState state = DeviceState::Random(seed);
        ASSERT_TRUE(sim::SaveStateFile(path_, state));
        EXPECT_EQ(sim::LoadStateFile(path_), state) << seed;
        EXPECT_FALSE(fs::exists(path_ + ".tmp")) << "the temporary file is renamed away";
    }
}

TEST_F(StateFileTest, CorruptOrIncompleteFilesAreRejectedWhole)
{
    const std::string good = sim::FormatState(DeviceState::Random(5));
    auto replace = [&good](const std::string& from, const std::string& to) {
        std::string s = good;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    const std::string lastPreset = good.substr(good.find("preset3"));
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"wrong_magic", replace("kestra-sim-state", "kestra-sim-stat")},
        {"other_version", replace("kestra-sim-state 1", "kestra-sim-state 2")},
        {"switch_on_out_of_range", good.substr(0, good.find("switchon")) + "switchon 4\n"},
        {"missing_switch_on", good.substr(0, good.find("switchon"))},
        {"missing_preset", replace(lastPreset.substr(0, lastPreset.find('\n') + 1), "")},
        {"duplicate_record", good + "switchon 1\n"},
        {"unknown_record", good + "extra 1\n"},
        {"extra_number", replace("live ", "live 80 ")},
        {"not_a_number", replace("live ", "live x")},
        {"truncated_mid_line", good.substr(0, good.size() / 2)},
    };
    for (const auto& [name, text] : cases) {
        Write(text);
        EXPECT_FALSE(sim::LoadStateFile(path_).has_value()) << name;
    }
    DeviceState bad = DeviceState::Random(5);
    bad.live.stereoGain[0] = 80;
    Write(sim::FormatState(bad));
    EXPECT_FALSE(sim::LoadStateFile(path_).has_value()) << "a gain beyond 79";
    EXPECT_FALSE(sim::LoadStateFile((dir_ / "missing").string()).has_value());
}

}  // namespace
