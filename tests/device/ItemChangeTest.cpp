// Which command sets which item is known in one place: each command the
// window sends is the change of the item it names, the report that change
// waits for sets the item to the value it sent, and anything else is no
// change (the engine sends it as a plain command).
#include "Commands.h"
#include "DeviceState.h"

#include <gtest/gtest.h>

namespace {

constexpr int kMic2 = kFirstMicIndex + 1;
constexpr int kMic3 = kFirstMicIndex + 2;

TEST(ItemChange, EachSettingIsItsItemsChangeAndNothingElseIs)
{
    const struct { const char* what; LCmd command; int item; } cases[] = {
        {"mic gain", CM_MCS_MIC(31, 0x12), item::Gain(kMic3)},
        {"line gain", CM_MCS_STEREO(5, channel::kLine), item::Gain(0)},
        {"master right", CM_MCS_STEREO(0, channel::kMasterRight), item::Gain(channel::kMasterRight)},
        {"mute", CM_MCS_MUTE(1, 0x11), item::Mute(kMic2)},
        {"unmute line", CM_MCS_MUTE(0, channel::kLine), item::Mute(0)},
        {"priority", CM_MCS_DUCKING(1, 0x15), item::Priority(5)},
        {"ganged master", CM_MCS_GANGED(1, 2), item::kMasterGanged},
        {"parted sub", CM_MCS_GANGED(0, 1), item::kSubGanged},
        {"line source", CM_MCS_LINE(3), item::kLineSource},
        {"manual ducking", CM_MCS_MANDUCKING(2), item::kDuckState},
        {"threshold", CM_MCS_DK_MIC_THD(100), item::Ducking(static_cast<int>(DuckSetting::Threshold))},
        {"fade in", CM_MCS_DK_FADEIN(7), item::Ducking(static_cast<int>(DuckSetting::FadeIn))},
        {"switch-on", CM_MCS_SWITCH(2), item::kSwitchOn},
        // No item of the state: sent as they are.
        {"mic gain on a stereo channel", CM_MCS_MIC(31, channel::kLine), -1},
        {"mute of no channel", CM_MCS_MUTE(1, 0x30), -1},
        {"manual ducking 1", CM_MCS_MANDUCKING(1), -1},
        {"priority of the line", CM_MCS_DUCKING(1, channel::kLine), -1},
        {"preset load", CM_MCS_SAVELOAD(1, 0), -1},
        {"factory default", CM_MCS_RESET(0), -1},
        {"inquiry", CM_MCS_INQUIRY(3, 0x10), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ItemOfCommand(c.command), c.item);
        const std::optional<StateChange> change = ChangeOf(c.command);
        ASSERT_EQ(change.has_value(), c.item >= 0);
        if (!change) {
            continue;
        }
        EXPECT_EQ(change->command, c.command) << "the frame goes out as the window built it";
        EXPECT_EQ(ItemOfChange(*change), c.item);
        // The awaited report, applied, holds what was sent: the same command sets it again.
        DeviceState after;
        ASSERT_TRUE(after.Apply(change->expect));
        EXPECT_EQ(ItemChange(c.item, ItemValue(after, c.item))->command, c.command);
        EXPECT_TRUE(Confirms(*change, change->expect));
    }
}

TEST(ItemChange, EveryItemRoundTripsThroughItsCommand)
{
    for (int it = 0; it < item::kCount; ++it) {
        for (const std::uint8_t value : {0, 1, 3}) {
            SCOPED_TRACE(testing::Message() << "item " << it << " value " << int(value));
            const std::optional<StateChange> change = ItemChange(it, value);
            ASSERT_TRUE(change);
            EXPECT_EQ(ItemOfCommand(change->command), it);
            DeviceState after;
            ASSERT_TRUE(after.Apply(change->expect));
            EXPECT_EQ(ItemChange(it, ItemValue(after, it))->command, change->command);
        }
    }
    EXPECT_FALSE(ItemChange(-1, 0));
    EXPECT_FALSE(ItemChange(item::kCount, 0));
}

}  // namespace
