// kestractl in-process against simulated devices on pseudo-terminals.
#include "KestraSim.h"
#include "Kestractl.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <sstream>

namespace {
struct CtlRun { int code; std::string out, err; };

CtlRun Ctl(std::vector<std::string> args)
{
    std::ostringstream out, err;
    const int code = RunKestractl(args, out, err);
    return {code, out.str(), err.str()};
}

class Kestractl : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE((path_ = sim_.Start()).empty()); }
    std::string Write(const QByteArray& bytes)
    {
        QFile f(dir_.filePath(QString::number(files_++)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        return f.fileName().toStdString();
    }
    sim::KestraSim sim_;
    std::string path_;
    QTemporaryDir dir_;
    int files_ = 0;
};
}  // namespace

TEST_F(Kestractl, RestoreSendsOnlyWhatDiffersThenVerifies)
{
    const sim::Settings before = sim_.State().live;
    const std::string backup = dir_.filePath(QStringLiteral("room.json")).toStdString();
    ASSERT_EQ(Ctl({"--port", path_, "backup", backup}).code, kExitOk);
    sim_.ClearReceived();
    CtlRun r = Ctl({"--port", path_, "restore", Write(R"({"format":"kestra-state","version":1,
        "channels":{"mic2":{"position":30}},"ganged":{"master":true},"ducking":{"fade_in":5}})")});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "3 change(s) sent; read back and verified\n");
    const auto frames = sim_.Received();
    EXPECT_EQ(std::count_if(frames.begin(), frames.end(), [](const ByteVector& f) { return LCmd(f).Sub() != 0x05; }),
              49 + 3 + 49)
        << "the state read, the changes, the state read back (and the polls that answer ducking reports)";
    // The backup holds all the device keeps: restoring it undoes just those three.
    r = Ctl({"--port", path_, "restore", backup});
    EXPECT_EQ(r.out, "3 change(s) sent; read back and verified\n") << r.err;
    EXPECT_EQ(sim_.State().live, before);
}

// A device server keeps the reply to its last client's poll: a backup over it
// holds the device's values all the same, never a leftover's.
TEST_F(Kestractl, BackupOverALineWithLeftoversHoldsTheDevicesValues)
{
    sim_.RandomiseState(11);
    const CtlRun clean = Ctl({"--json", "--port", path_, "get"});
    ASSERT_EQ(clean.code, kExitOk) << clean.err;
    for (const sim::Fault& fault : {sim::Fault{sim::FaultKind::Stale, 0, -1}, sim::Fault{sim::FaultKind::Foreign, 0, 2}}) {
        sim_.SetFault(fault);
        const CtlRun leftovers = Ctl({"--json", "--port", path_, "get"});
        EXPECT_EQ(leftovers.code, kExitOk) << leftovers.err;
        EXPECT_EQ(leftovers.out, clean.out);
    }
}

TEST_F(Kestractl, SeveralPortsAtOnceEachItsOwnResult)
{
    sim::KestraSim second;
    const std::string path2 = second.Start();
    ASSERT_EQ(Ctl({"--port", path2, "set", "line_source=aux"}).code, kExitOk);

    CtlRun r = Ctl({"--json", "--port", path_, "--port", path2, "get"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    const QJsonObject all = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    EXPECT_EQ(all[QString::fromStdString(path_)].toObject()["line_source"].toString(), "tuner");
    EXPECT_EQ(all[QString::fromStdString(path2)].toObject()["line_source"].toString(), "aux");

    r = Ctl({"--port", path_, "--port", "/dev/kestra-none", "--port", path2, "set", "mic1.mute=on"});
    EXPECT_EQ(r.code, kExitDevice);
    EXPECT_EQ(r.err, "kestractl: /dev/kestra-none: no such port\n");
    EXPECT_TRUE(sim_.State().live.micMute[0]);
    EXPECT_TRUE(second.State().live.micMute[0]);
}

TEST_F(Kestractl, EveryErrorPrintsItsLineAndExitCode)
{
    const std::string bad = Write(R"({"format":"kestra-state","version":1,"line_source":"radio"})");
    const struct { std::vector<std::string> args; sim::Fault fault; int code; const char* line; } cases[] = {
        {{"frobnicate"}, {}, kExitUsage, "kestractl: unknown command: frobnicate (allowed: ports, get,"},
        {{"get"}, {}, kExitUsage, "kestractl: no port: give --port NAME (or --demo)\n"},
        {{"--port", path_, "set", "ducking.hold_time=0"}, {}, kExitUsage, "hold_time: 0 is not allowed (a whole number 1..100)"},
        {{"--port", path_, "restore", "/nonexistent.json"}, {}, kExitUsage, "kestractl: /nonexistent.json: cannot read"},
        {{"--port", path_, "restore", bad}, {}, kExitUsage, "line_source: \"radio\" is not allowed"},
        {{"--port", path_, "preset", "load", "4"}, {}, kExitUsage, "kestractl: N: Value 4 not in range"},
        {{"--port", path_, "factory-default"}, {}, kExitUsage, "add --yes"},
        {{"--timeout", "150", "--port", path_, "get"}, {sim::FaultKind::Silence}, kExitDevice, "no answer from the device within 150 ms"},
        {{"--port", path_, "preset", "save", "2"}, {sim::FaultKind::Nak}, kExitDevice, "the device refused a frame (NAK)"},
        {{"--port", path_, "get"}, {sim::FaultKind::Busy}, kExitDevice, "the device is busy"},
        {{"--port", path_, "factory-default", "--yes"}, {sim::FaultKind::Error, 4}, kExitDevice, "device error 4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        sim_.SetFault(c.fault);
        sim_.ClearReceived();
        const CtlRun r = Ctl(c.args);
        EXPECT_EQ(r.code, c.code);
        EXPECT_NE(r.err.find(c.line), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(c.code != kExitUsage || sim_.ReceivedCount() == 0) << "a usage error sends nothing";
    }
}

TEST_F(Kestractl, UpdateProgramsTheImageThroughTheBootLoader)
{
    QByteArray image(7104, '\0');
    std::iota(image.begin(), image.end(), char(7));
    const CtlRun r = Ctl({"--port", path_, "update", Write(image)});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "update OK\n");
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(sim_.FlashContents().data()), image.size()), image);
}

TEST_F(Kestractl, WatchPrintsDecodedReportsAsJsonLines)
{
    sim_.SetSpeech(1);  // microphone 1 speaks: ducking reports and levels follow the polls
    const CtlRun r = Ctl({"--json", "--port", path_, "watch", "--for", "600"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    bool ducking = false;
    for (const QByteArray& line : QByteArray::fromStdString(r.out).trimmed().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        EXPECT_EQ(o["port"].toString().toStdString(), path_);
        EXPECT_FALSE(o["time"].toString().isEmpty());
        ducking = ducking || (o["event"] == "ducking_state" && o["active"].toBool());
    }
    EXPECT_TRUE(ducking) << r.out;
}
