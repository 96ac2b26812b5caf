// The state file: what is written reads back the same, and every kind of bad
// file or `set` word is refused with a line that names the key.
#include "StateJson.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

#include <tuple>

namespace {
DeviceState Sample()
{
    DeviceState s;
    for (int i = 0; i < kStateChannels; ++i) {
        s.gain[i] = static_cast<std::uint8_t>(i * 7 + 3);
        s.mute[i] = i % 3 == 0;
    }
    s.gain[10] = 79;  // the mute position: gain_db null
    s.priority = {true, false, true, false, false, true};
    s.subGanged = true;
    s.lineSource = 3;
    s.manualDucking = true;
    s.ducking = {2, 79, 100, 0, 63};
    s.switchOn = 2;
    return s;
}

}  // namespace

TEST(StateJson, RoundTripAndGainDbOrPosition)
{
    const DeviceState s = Sample();
    DeviceState back;
    ASSERT_FALSE(MergeStateFile(QJsonDocument(StateToJson(s)).toJson(), back));
    EXPECT_EQ(back, s);
    EXPECT_TRUE(StateToJson(s)["channels"].toObject()["mic6"].toObject()["gain_db"].isNull());
    EXPECT_EQ(StateToJson(s)["channels"].toObject()["line"].toObject()["gain_db"].toDouble(), -1.5);

    DeviceState fromDb;  // a partial file, written by hand without the header
    ASSERT_FALSE(MergeStateFile(R"({
        "channels":{"mic2":{"gain_db":-50},"line":{"gain_db":null},"mic1":{"position":4,"gain_db":-2},"mic3":{"position":79,"gain_db":null}},
        "ducking":{"active":true}})", fromDb));
    EXPECT_EQ(std::tuple(+fromDb.gain[6], +fromDb.gain[0], +fromDb.gain[5], +fromDb.gain[7]), std::tuple(65, 79, 4, 79))
        << "mic2, line, mic1, mic3";
    EXPECT_FALSE(fromDb.duckingActive);  // read-only
}

// A file is a JSON text; any other input is `set` words.
TEST(StateJson, BadFilesAndWordsNameTheKeyAndChangeNothing)
{
    const struct { const char* input; const char* error; } cases[] = {
        {"{\n  \"channels\": {\n    \"mic1\": }", "at line 3, column 14"},
        {"[1]", "not a kestra-state object"},
        {R"({"format":"kestra","version":1})", "format"},
        {R"({"format":"kestra-state","version":2})", "version: 2"},
        {R"({"format":"kestra-state","version":1,"colour":1})", "colour: unknown key"},
        {R"({"format":"kestra-state","version":1,"channels":{"mic7":{}}})", "channels.mic7: unknown key"},
        {R"({"format":"kestra-state","version":1,"channels":{"line":{"priority":true}}})", "channels.line.priority: unknown"},
        {R"({"format":"kestra-state","version":1,"channels":{"mic1":{"position":80}}})", "channels.mic1.position: 80 is not allowed (a whole number 0..79)"},
        {R"({"format":"kestra-state","version":1,"channels":{"mic1":{"position":1.5}}})", "channels.mic1.position: 1.5"},
        {R"({"format":"kestra-state","version":1,"channels":{"mic1":{"gain_db":-12.3}}})", "channels.mic1.gain_db: -12.3 is not a level of the gain scale; the nearest are -12 and -12.5"},
        {R"({"format":"kestra-state","version":1,"channels":{"mic1":{"gain_db":1}}})", "channels.mic1.gain_db: 1"},
        {R"({"format":"kestra-state","version":1,"channels":{"mic3":{"position":20,"gain_db":"loud"}}})", "channels.mic3.gain_db: \"loud\""},
        {R"({"format":"kestra-state","version":1,"channels":{"mic3":{"position":20,"gain_db":-12.5}}})",
         "channels.mic3: position 20 (-10 dB) and gain_db -12.5 disagree"},
        {R"({"format":"kestra-state","version":1,"channels":{"line":{"position":79,"gain_db":0}}})", "position 79 (mute) and gain_db 0"},
        {R"({"format":"kestra-state","version":1,"channels":{"mic1":{"mute":"yes"}}})", "channels.mic1.mute: \"yes\" is not allowed (true or false)"},
        {R"({"format":"kestra-state","version":1,"channels":{"mic1":3}})", "channels.mic1: 3"},
        {R"({"format":"kestra-state","version":1,"ganged":{"aux":true}})", "ganged.aux: unknown key"},
        {R"({"format":"kestra-state","version":1,"line_source":"radio"})", "line_source: \"radio\" is not allowed (off, tuner, tape, cd, aux)"},
        {R"({"format":"kestra-state","version":1,"ducking":{"threshold":1}})", "ducking.threshold: 1 is not allowed (a whole number 2..127)"},
        {R"({"format":"kestra-state","version":1,"ducking":{"active":2}})", "ducking.active: 2"},
        {R"({"format":"kestra-state","version":1,"switch_on":"preset4"})", "switch_on: \"preset4\""},
        {"mic3.mute", "not KEY=VALUE"},
        {"mic3.gain_db=-40.5dB", "the nearest are -40 and -41"},
        {"mic9.mute=on", "mic9: unknown key"},
        {"mic3.mute=maybe", "mic3.mute: \"maybe\""},
        {"ducking.active=on", "ducking.active: read-only"},
        {"mic3.gain_db=loud mic3.position=30", "mic3.gain_db: \"loud\""},
        {"mic3.position=30 mic3.gain_db=-12.5", "mic3: position 30 (-15 dB) and gain_db -12.5 disagree"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        DeviceState s = Sample();
        const auto error = c.input[0] == '{' || c.input[0] == '[' ? MergeStateFile(c.input, s)
                                                                  : MergeSettings(QString(c.input).split(' '), s);
        ASSERT_TRUE(error);
        EXPECT_TRUE(error->contains(QLatin1String(c.error))) << error->toStdString();
        EXPECT_EQ(s, Sample());
    }
}

TEST(StateJson, SetWords)
{
    DeviceState s;
    ASSERT_FALSE(MergeSettings({"mic3.gain_db=-12.5dB", "mic3.mute=on", "line_source=CD", "ganged.sub=on",
                                "ducking.attenuation=20", "switch_on=preset2", "master_left.position=7",
                                "line.gain_db=mute", "mic1.priority=true"},
                               s));
    DeviceState want;
    want.gain[7] = 25;
    want.mute[7] = want.subGanged = want.priority[0] = true;
    want.lineSource = 3;
    want.ducking[1] = 20;
    want.switchOn = 2;
    want.gain[3] = 7;
    want.gain[0] = 79;
    EXPECT_EQ(s, want);
}
