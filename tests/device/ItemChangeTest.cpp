// Which command sets which item is known in one place: each command the
// window sends is the change of the item it names, the report each change
// waits for sets its item to the value sent, and anything else is no change
// (the engine sends it as a plain command).
#include "Commands.h"
#include "DeviceState.h"

#include <gtest/gtest.h>

TEST(ItemChange, EachSettingIsItsItemsChangeAndNothingElseIs)
{
    const struct { LCmd command; int item; } cases[] = {
        {CM_MCS_MIC(31, 0x12), item::Gain(kFirstMicIndex + 2)}, {CM_MCS_STEREO(5, channel::kLine), item::Gain(0)},
        {CM_MCS_MUTE(1, 0x11), item::Mute(kFirstMicIndex + 1)}, {CM_MCS_DUCKING(1, 0x15), item::Priority(5)},
        {CM_MCS_GANGED(1, 2), item::kMasterGanged}, {CM_MCS_LINE(3), item::kLineSource},
        {CM_MCS_MANDUCKING(2), item::kDuckState}, {CM_MCS_SWITCH(2), item::kSwitchOn},
        {CM_MCS_DK_MIC_THD(100), item::Ducking(static_cast<int>(DuckSetting::Threshold))},
        {CM_MCS_DK_FADEIN(7), item::Ducking(static_cast<int>(DuckSetting::FadeIn))},
        // No item of the state: sent as they are.
        {CM_MCS_MIC(31, channel::kLine), -1}, {CM_MCS_MUTE(1, 0x30), -1}, {CM_MCS_MANDUCKING(1), -1},
        {CM_MCS_DUCKING(1, channel::kLine), -1}, {CM_MCS_SAVELOAD(1, 0), -1}, {CM_MCS_RESET(0), -1},
        {CM_MCS_INQUIRY(3, 0x10), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "sub " << int(c.command.Sub()) << ", item " << c.item);
        EXPECT_EQ(ItemOfCommand(c.command), c.item);
        const std::optional<StateChange> change = ChangeOf(c.command);
        ASSERT_EQ(change.has_value(), c.item >= 0);
        EXPECT_TRUE(!change || (change->command == c.command && ItemOfChange(*change) == c.item));
    }
    for (int it = 0; it < item::kCount; ++it) {
        for (const std::uint8_t value : {0, 1, 3}) {
            SCOPED_TRACE(testing::Message() << "item " << it << " value " << int(value));
            const std::optional<StateChange> change = ItemChange(it, value);
            ASSERT_TRUE(change);
            EXPECT_EQ(ItemOfCommand(change->command), it);
            // The awaited report, applied, holds what was sent: the same command sets it again.
            DeviceState after;
            ASSERT_TRUE(after.Apply(change->expect));
            EXPECT_EQ(ItemChange(it, ItemValue(after, it))->command, change->command);
            EXPECT_TRUE(Confirms(*change, change->expect));
        }
    }
}
