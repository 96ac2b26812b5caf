// kestractl in-process against simulated devices on pseudo-terminals.
#include "Choices.h"
#include "InterruptedUpdate.h"
#include "KestraSim.h"
#include "Kestractl.h"
#include "Output.h"
#include "Serve.h"

#include "WaitFor.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gmock/gmock.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <numeric>
#include <sstream>
#include <thread>
#include <tuple>

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
    // Frames the device received, less the polls that answer its ducking reports.
    std::size_t NotPolls() const
    {
        const auto frames = sim_.Received();
        return static_cast<std::size_t>(
            std::count_if(frames.begin(), frames.end(), [](const ByteVector& f) { return LCmd(f).Sub() != 0x05; }));
    }
    sim::KestraSim sim_;
    std::string path_;
    QTemporaryDir dir_;
    int files_ = 0;
};
}  // namespace

// (A whole backup restored: the test of every legal device.)
TEST_F(Kestractl, RestoreListsAndSendsOnlyWhatDiffersThenVerifies)
{
    const std::string file = Write(R"({"format":"kestra-state","version":1,
        "channels":{"mic2":{"position":30}},"ganged":{"master":true},"ducking":{"fade_in":5}})");
    const std::string listed = "mic2.gain_db: -10 -> -15\nducking.fade_in: 20 -> 5\nganged.master: off -> on\n";
    sim_.ClearReceived();
    CtlRun r = Ctl({"--port", path_, "restore", "--dry-run", file});
    EXPECT_EQ(r.out, listed + "3 change(s) to send; --dry-run: nothing sent\n") << r.err;
    EXPECT_EQ(NotPolls(), 49u) << "the state read alone";
    sim_.ClearReceived();
    r = Ctl({"--port", path_, "restore", file});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, listed + "3 change(s) sent; read back and verified\n");
    EXPECT_EQ(NotPolls(), 49u + 3u + 49u) << "the state read, the changes, the state read back";
}

TEST_F(Kestractl, SeveralPortsAtOnceEachItsOwnResult)
{
    sim::KestraSim second;
    const std::string path2 = second.Start();
    // The window's spellings, and a second time: nothing left to send.
    EXPECT_EQ(Ctl({"--port", path2, "set", "line_source=Aux", "mic1.gain_db=-12dB"}).out,
              "2 change(s) sent, each confirmed by the device\n");
    EXPECT_EQ(Ctl({"--port", path2, "set", "line_source=aux"}).out, "nothing to send: the device already holds that\n");

    CtlRun r = Ctl({"--port", path_, "--port", path2, "get", "--json"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    const QJsonObject all = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    EXPECT_EQ(all[QString::fromStdString(path_)].toObject()["line_source"].toString(), "tuner");
    EXPECT_EQ(all[QString::fromStdString(path2)].toObject()["line_source"].toString(), "aux");

    r = Ctl({"--port", path_, "--port", "/dev/kestra-none", "--port", path2, "--json", "set", "mic1.mute=on"});
    EXPECT_EQ(r.code, kExitDevice);
    EXPECT_EQ(r.err, "kestractl: /dev/kestra-none: no such port\n");
    const QJsonObject sets = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    EXPECT_EQ(sets["/dev/kestra-none"].toObject()["error"], "/dev/kestra-none: no such port") << r.out;
    EXPECT_EQ(sets[QString::fromStdString(path_)].toObject()["sent"], 1);
    EXPECT_TRUE(sim_.State().live.micMute[0]);
    EXPECT_TRUE(second.State().live.micMute[0]);
}

// Options count before and after the subcommand; --demo stands beside the
// ports given, each with its own result.
TEST_F(Kestractl, OptionsGoBeforeOrAfterTheSubcommand)
{
    const struct { std::vector<std::string> args; int code; const char* out; } cases[] = {
        {{"get", "--demo"}, kExitOk, "channel       position  gain_db  mute  priority\n"},
        {{"--demo", "get", "--json"}, kExitOk, "{\n"},
        {{"--json", "--port", path_, "get"}, kExitOk, "\"line_source\": \"tuner\""},
        {{"--demo", "--port", "/dev/kestra-none", "get", "--json"}, kExitDevice, "\"error\": \"/dev/kestra-none: no such port\""},
    };
    for (const auto& c : cases) {
        const CtlRun r = Ctl(c.args);
        EXPECT_EQ(r.code, c.code) << c.args.front() << ' ' << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    }
    const QJsonObject both = QJsonDocument::fromJson(QByteArray::fromStdString(Ctl(cases[3].args).out)).object();
    EXPECT_TRUE(both.contains("demo") && both["demo"].toObject().contains("line_source")) << both.keys().join(',').toStdString();
}

TEST_F(Kestractl, EveryErrorPrintsItsLineAndExitCode)
{
    const std::string bad = Write(R"({"format":"kestra-state","version":1,"line_source":"radio"})");
    const std::string huge = Write(QByteArray(70000, ' ') + R"({"format":"kestra-state","version":1})");
    const std::string panel = Write("{\"controls\": [\n  {\"gain\": \"mic1\",\n   \"lable\": \"x\"}]}");
    const struct { std::vector<std::string> args; sim::Fault fault; int code; std::string line; } cases[] = {
        {{"frobnicate"}, {}, kExitUsage, "kestractl: unknown command: frobnicate (allowed: ports, find, doctor, get,"},
        {{}, {}, kExitUsage, "kestractl: A subcommand is required"},
        {{"--demo", "get", "set"}, {}, kExitUsage, "not expected: set"},
        {{"--port", path_, "gett"}, {}, kExitUsage, "unknown command: gett (did you mean get?)"},
        {{"get"}, {}, kExitUsage, "kestractl: no port: give --port NAME (or --demo)\n"},
        {{"--port", path_, "set", "ducking.hold_time=0"}, {}, kExitUsage, "hold_time: 0 is not allowed (a whole number 1..100)"},
        {{"--port", path_, "restore", "/nonexistent.json"}, {}, kExitUsage, "kestractl: /nonexistent.json: cannot read"},
        {{"--port", path_, "restore", bad}, {}, kExitUsage, "line_source: \"radio\" is not allowed"},
        {{"--port", path_, "restore", huge}, {}, kExitUsage, "larger than 64 KiB"},
        {{"--port", "foo:bar", "get"}, {}, kExitUsage, "kestractl: foo:bar: \"foo:bar\" is not a port."},
        {{"--port", "tcp://h", "serve"}, {}, kExitUsage, "lacks the port number"},
        {{"--port", path_, "serve", "--mqtt-discovery"}, {}, kExitUsage, "--mqtt-discovery, --mqtt-id and --mqtt-name need --mqtt"},
        {{"--port", path_, "serve", "--mqtt", "h:1", "--mqtt-id", "room 12"}, {}, kExitUsage, "--mqtt-id room 12: letters"},
        {{"--port", path_, "serve", "--mqtt", "h:1", "--mqtt-discovery", "ha/#"}, {}, kExitUsage, "without wildcards"},
        {{"--port", path_, "serve", "--panel", panel}, {}, kExitUsage, panel + ":3:4: controls.0.lable: unknown key"},
        {{"panel", "check", panel}, {}, kExitUsage, panel + ":3:4: controls.0.lable: unknown key"},
        {{"panel", "url", "Hall"}, {}, kExitUsage, "\"Hall\" is no panel name"},
        {{"--port", path_, "serve", "--live-per-address", "0"}, {}, kExitUsage, "--live-per-address: Value 0 not in range"},
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
    qputenv("XDG_STATE_HOME", dir_.path().toUtf8());
    NoteUpdateBegun(QString::fromStdString(path_));  // an earlier one, cut off
    QByteArray image(7104, '\0');
    std::iota(image.begin(), image.end(), char(7));
    const CtlRun r = Ctl({"--port", path_, "update", Write(image)});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "update OK\n");
    EXPECT_FALSE(InterruptedUpdateOn(QString::fromStdString(path_))) << "a finished update is no longer pending";
    const sim::Flash flash = sim_.FlashContents();
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(flash.data()), image.size()), image);
    // The page after the image is erased and programmed too, with bytes that leave it erased.
    EXPECT_TRUE(std::all_of(flash.begin() + image.size(), flash.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

// A backup that cannot be written whole (here a file size limit) leaves the
// previous one as it was, and says why.
TEST_F(Kestractl, FailedBackupKeepsThePreviousOneAndSaysWhy)
{
    const std::string file = Write("previous");
    rlimit old{}, small{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    small = {512, old.rlim_max};  // a backup is about 2 KiB
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const CtlRun r = Ctl({"--port", path_, "backup", file});
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(std::make_pair(r.code, r.err), std::make_pair(kExitUsage, "kestractl: " + file + ": cannot write: File too large\n"));
    QFile f(QString::fromStdString(file));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly) && f.readAll() == "previous");
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files).size(), 1) << "nothing left beside it";
}

// Ctrl+C is how `watch` without --for ends: a success, as for `serve`.
TEST_F(Kestractl, InterruptEndsWatchWithSuccess)
{
    CtlRun r{};
    std::thread watch([&r, this] { r = Ctl({"--port", path_, "watch"}); });
    EXPECT_TRUE(WaitFor([this] { return sim_.ReceivedCount() > 2; }, 5000)) << "polls while watching";
    ::kill(::getpid(), SIGINT);
    watch.join();
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out.rfind("kestractl: watching " + path_ + " for reports", 0), 0u) << "said at once: " << r.out;
}

// A run leaves no reply on the line for the next program on the port, which
// would take it for the answer to its own first frame. This state's reports
// draw answering polls, the last one still on the line when the read is done.
TEST(KestractlLine, EndsWithNoReplyOnItsWay)
{
    sim::SimOptions options;
    options.wireSpeed = true;
    sim::KestraSim sim(options);
    const std::string path = sim.Start();
    ASSERT_FALSE(path.empty());
    sim.RandomiseState(2026);
    for (int run = 0; run < 3; ++run) {
        const CtlRun r = Ctl({"--port", path, "get"});
        ASSERT_EQ(r.code, kExitOk) << r.err;
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        pollfd in{fd, POLLIN, 0};
        EXPECT_EQ(::poll(&in, 1, 100), 0) << "run " << run << ": a reply came after the run ended";
        ::close(fd);
    }
}

// The demo device, named "demo": its table with units, its state kept in the
// user's state folder until reset, speech while watched (JSON lines).
TEST_F(Kestractl, DemoDeviceTableStateAndSpeech)
{
    qputenv("XDG_STATE_HOME", dir_.path().toUtf8());
    ASSERT_EQ(Ctl({"--demo", "set", "line_source=cd"}).code, kExitOk);
    EXPECT_THAT(Ctl({"--demo", "get"}).out,
                testing::HasSubstr("\nline_source   cd\nducking       manual off, active off, threshold 51 (1100 mV), "
                                   "attenuation 20 steps, hold_time 50 (500 ms), fade_out 10, fade_in 20\n"));
    EXPECT_THAT(Ctl({"--demo", "--demo-reset", "get"}).out, testing::HasSubstr("\nline_source   tuner\n"));
    const CtlRun r = Ctl({"--json", "--demo", "watch", "--for", "1500"});
    bool ducking = false;
    for (const QByteArray& line : QByteArray::fromStdString(r.out).trimmed().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        EXPECT_EQ(o["port"], "demo");
        EXPECT_FALSE(o["time"].toString().isEmpty());
        ducking = ducking || (o["event"] == "ducking_state" && o["active"].toBool());
    }
    EXPECT_TRUE(ducking) << r.out << r.err;
}

// get, set, backup and restore end as the device did them, whichever legal
// way it answers (a late reply among them, past the reply deadline).
TEST_F(Kestractl, EveryLegalDeviceIsBackedUpChangedAndRestored)
{
    for (auto [name, choices] : sim::Choices::Each()) {
        SCOPED_TRACE(name);
        if (choices.lateEvery > 0) {
            choices.lateEvery = 40;
            choices.lateMs = 900;
        }
        sim_.RandomiseState(static_cast<std::uint32_t>(name.size()));
        sim_.SetChoices(choices);
        const sim::Settings before = sim_.State().live;
        const std::string backup = dir_.filePath(QString::fromStdString(name)).toStdString();
        const std::vector<std::string> port{"--timeout", "600", "--port", path_};
        auto ctl = [&](std::vector<std::string> args) {
            args.insert(args.begin(), port.begin(), port.end());
            return Ctl(args);
        };
        CtlRun r = ctl({"backup", backup});
        ASSERT_EQ(r.code, kExitOk) << r.err;
        r = ctl({"set", "mic3.position=33", "line_source=cd", "ducking.attenuation=7"});
        ASSERT_EQ(r.code, kExitOk) << r.err;
        EXPECT_EQ(std::tuple(sim_.State().live.micGain[2], sim_.State().live.lineSource, sim_.State().live.attenuation),
                  std::tuple(33, 3, 7));
        r = ctl({"restore", backup});
        ASSERT_EQ(r.code, kExitOk) << r.err;
        // The backup holds every item; only those the set changed are sent back.
        const int changed = (before.micGain[2] != 33) + (before.lineSource != 3) + (before.attenuation != 7);
        EXPECT_NE(r.out.find(QStringLiteral("%1 change(s) sent; read back and verified").arg(changed).toStdString()), std::string::npos) << r.out;
        EXPECT_EQ(sim_.State().live, before);
        sim_.SetChoices({});
    }
}

// Listening on all addresses, each of them is printed, never "0.0.0.0".
TEST(Serve, PrintedAddressesCanBeOpened)
{
    for (const auto& [address, listed, never] : {std::tuple{QHostAddress::AnyIPv4, "http://127.0.0.1:8080/", "0.0.0.0"}, std::tuple{QHostAddress::Any, "http://127.0.0.1:8080/", "[::]"},
                                                 std::tuple{QHostAddress::LocalHostIPv6, "http://[::1]:8080/", "127.0.0.1"}}) {
        EXPECT_THAT(ServeUrls(QHostAddress(address), 8080).join(' ').toStdString(), testing::AllOf(testing::HasSubstr(listed), testing::Not(testing::HasSubstr(never))));
    }
}

TEST(Panel, UrlCarriesTheTokenKeptForTheServer)
{
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    const CtlRun first = Ctl({"panel", "url", "hall", "--host", "hall.local"});
    const CtlRun again = Ctl({"panel", "url", "hall", "--host", "hall.local"});
    QFile kept(PanelTokenDirectory(QStringLiteral("hall")) + "/token");
    qunsetenv("XDG_STATE_HOME");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << kept.fileName().toStdString();
    EXPECT_EQ(first.code, kExitOk) << first.err;
    EXPECT_EQ(first.out.substr(0, first.out.find('\n')), "http://hall.local:8080/room/hall/?token=" + kept.readAll().trimmed().toStdString());
    EXPECT_EQ(again.out, first.out) << "a second run makes no new token";
}

TEST(ProgressLine, OneWidthABarClampedToItsEndsAndTheTextFitted)
{
    const struct { int percent; std::string text; std::size_t bar; const char* shows; } cases[] = {
        {0, "Erasing page 1 of 112", 0, "  0% Erasing page 1 of 112"},
        {50, "Programming page 1 of 112", 15, " 50% Programming page 1 of 112"},
        {100, "Update OK", 30, "100% Update OK"},
        {130, "Update OK", 30, "100% Update OK"},
        {-4, "Waiting", 0, "  0% Waiting"},
        {99, "Programming page 112 of 112 and more", 29, " 99% Programming page 112 of 11"},
    };
    const std::size_t width = ProgressLine(0, "").size();
    for (const auto& c : cases) {
        const std::string line = ProgressLine(c.percent, c.text);
        EXPECT_EQ(line.size(), width) << line << ": a shorter line leaves the end of a longer one";
        EXPECT_EQ(line.rfind("\r[", 0), 0u) << line;
        EXPECT_EQ(static_cast<std::size_t>(std::count(line.begin(), line.end(), '#')), c.bar) << line;
        EXPECT_NE(line.find(std::string("] ") + c.shows), std::string::npos) << line;
    }
}
