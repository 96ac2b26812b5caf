// kestractl in-process against simulated devices on pseudo-terminals.
#include "DeviceSession.h"
#include "Hex.h"
#include "KestraSim.h"
#include "Kestractl.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sstream>

namespace {
struct CtlRun {
    int code;
    std::string out, err;
};

CtlRun Ctl(std::vector<std::string> args)
{
    std::ostringstream out, err;
    const int code = RunKestractl(args, out, err);
    return {code, out.str(), err.str()};
}

// Sub byte and payload of a received frame, in hex.
std::string Body(const ByteVector& frame)
{
    const LCmd c(frame);
    ByteVector b{c.Sub()};
    b.insert(b.end(), c.Payload().begin(), c.Payload().end());
    return ToHex(b);
}

class Kestractl : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = sim_.Start();
        ASSERT_FALSE(path_.empty());
    }
    std::string Write(const QByteArray& bytes)
    {
        const QString name = dir_.filePath(QStringLiteral("f%1.json").arg(files_++));
        QFile f(name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return name.toStdString();
    }
    sim::KestraSim sim_;
    std::string path_;
    QTemporaryDir dir_;
    int files_ = 0;
};
}  // namespace

TEST_F(Kestractl, RestoreSendsOnlyWhatDiffersThenVerifies)
{
    const std::string backup = dir_.filePath(QStringLiteral("room.json")).toStdString();
    ASSERT_EQ(Ctl({"--port", path_, "backup", backup}).code, kExitOk);
    QFile f(QString::fromStdString(backup));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QJsonObject room = QJsonDocument::fromJson(f.readAll()).object();
    QJsonObject channels = room["channels"].toObject();
    QJsonObject mic2 = channels["mic2"].toObject();
    mic2["position"] = 30;
    channels["mic2"] = mic2;
    room["channels"] = channels;
    room["ganged"] = QJsonObject{{"sub", false}, {"master", true}};
    QJsonObject ducking = room["ducking"].toObject();
    ducking["fade_in"] = 5;
    room["ducking"] = ducking;

    sim_.ClearReceived();
    const CtlRun r = Ctl({"--port", path_, "restore", Write(QJsonDocument(room).toJson())});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "3 change(s) sent; read back and verified\n");
    const auto got = sim_.Received();
    ASSERT_EQ(got.size(), 49u + 3u + 49u);
    EXPECT_EQ(Body(got[49]), "AA 01 02");
    EXPECT_EQ(Body(got[50]), "A3 1E 11");
    EXPECT_EQ(Body(got[51]), "B6 05");
    EXPECT_EQ(sim_.State().live.micGain[1], 30);

    // Restoring the same file again sends nothing.
    sim_.ClearReceived();
    EXPECT_EQ(Ctl({"--port", path_, "restore", Write(QJsonDocument(room).toJson())}).out,
              "0 change(s) sent; read back and verified\n");
    EXPECT_EQ(sim_.ReceivedCount(), 98u);
}

TEST_F(Kestractl, SeveralPortsAtOnceEachItsOwnResult)
{
    sim::KestraSim second;
    const std::string path2 = second.Start();
    sim::DeviceState s = second.State();
    s.live.lineSource = 4;
    second.SetState(s);

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
    const struct {
        std::vector<std::string> args;
        sim::Fault fault;
        int code;
        const char* line;
    } cases[] = {
        {{"frobnicate"}, {}, kExitUsage, "kestractl: unknown command: frobnicate (allowed: ports, get,"},
        {{"get"}, {}, kExitUsage, "kestractl: no port: give --port NAME (or --demo)\n"},
        {{"--port", path_, "set", "mic9.mute=on"}, {}, kExitUsage, "kestractl: set: mic9: unknown key"},
        {{"--port", path_, "set", "ducking.hold_time=0"}, {}, kExitUsage, "hold_time: 0 is not allowed (a whole number 1..100)"},
        {{"--port", path_, "restore", "/nonexistent.json"}, {}, kExitUsage, "kestractl: /nonexistent.json: cannot read"},
        {{"--port", path_, "restore", bad}, {}, kExitUsage, "line_source: \"radio\" is not allowed"},
        {{"--port", path_, "preset", "load", "4"}, {}, kExitUsage, "kestractl: N: Value 4 not in range"},
        {{"--port", path_, "factory-default"}, {}, kExitUsage, "add --yes"},
        {{"--port", path_, "update", "/nonexistent.bin"}, {}, kExitUsage, "kestractl: "},
        {{"--port", "/dev/kestra-none", "get"}, {}, kExitDevice, "kestractl: /dev/kestra-none: no such port\n"},
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
        if (c.code == kExitUsage) {
            EXPECT_EQ(sim_.ReceivedCount(), 0u);
        }
    }
    sim_.SetFault({});

    DeviceSession holder;
    ASSERT_FALSE(holder.Open(QString::fromStdString(path_)));
    const CtlRun busy = Ctl({"--port", path_, "get"});
    EXPECT_EQ(busy.code, kExitDevice);
    EXPECT_NE(busy.err.find("in use by another program"), std::string::npos) << busy.err;
}

TEST_F(Kestractl, UpdateProgramsTheImageThroughTheBootLoader)
{
    QByteArray image(7104, '\0');
    for (int i = 0; i < image.size(); ++i) {
        image[i] = static_cast<char>(i * 31 + 7);
    }
    const CtlRun r = Ctl({"--port", path_, "update", Write(image)});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "update OK\n");
    const sim::Flash flash = sim_.FlashContents();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin(),
                           [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
}

TEST_F(Kestractl, WatchPrintsDecodedReportsAsJsonLines)
{
    sim_.SetSpeech(1);  // microphone 1 speaks: ducking reports and levels follow the polls
    const CtlRun r = Ctl({"--json", "--port", path_, "watch", "--for", "600"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    bool ducking = false;
    while (std::getline(lines, line)) {
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        EXPECT_EQ(o["port"].toString().toStdString(), path_);
        EXPECT_FALSE(o["time"].toString().isEmpty());
        ducking = ducking || (o["event"] == "ducking_state" && o["active"].toBool());
    }
    EXPECT_TRUE(ducking) << r.out;
}
