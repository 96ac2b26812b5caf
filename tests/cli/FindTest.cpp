// `kestractl find` and `doctor` among ports that fail each in their own way.
#include "InterruptedUpdate.h"
#include "KestraSim.h"
#include "Kestractl.h"
#include "LCommProc.h"
#include "PtyPeer.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>

#include <gmock/gmock.h>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <sstream>
#include <thread>

namespace {

QJsonObject CtlJson(std::vector<std::string> args, int* code = nullptr)
{
    std::ostringstream out, err;
    const int rc = RunKestractl(args, out, err);
    if (code != nullptr) {
        *code = rc;
    }
    return QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).object();
}

// A far end that answers whatever it hears with answer(bytes heard).
class Responder {
public:
    explicit Responder(std::function<ByteVector(const ByteVector&)> answer)
        : thread_([this, answer] {
              while (!stop_) {
                  pollfd p{peer_.MasterFd(), POLLIN, 0};
                  if (poll(&p, 1, 20) > 0) {
                      const ByteVector heard = peer_.Read();
                      if (!heard.empty()) {
                          peer_.Write(answer(heard));
                      }
                  }
              }
          })
    {
    }
    ~Responder()
    {
        stop_ = true;
        thread_.join();
    }
    std::string Path() const { return peer_.Path(); }

private:
    PtyPeer peer_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

ByteVector Echo(const ByteVector& heard)
{
    return heard;
}
ByteVector Garbage(const ByteVector&)
{
    return {0x55, 0xF0, 0x00, 0xFF, 0x7E};
}

}  // namespace

// Ten ports at once, each reported for what it is.
TEST(Find, TellsEachPortApartAllAtOnce)
{
    sim::KestraSim kestra;
    const std::string device = kestra.Start();
    ASSERT_FALSE(device.empty());
    PtyPeer silent, held;
    std::vector<PtyPeer> moreSilent(4);
    Responder garbage(Garbage), echo(Echo);
    QSerialPort holder(QString::fromStdString(held.Path()));
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite)) << "another program holds this one, with its lock";

    const struct {
        std::string port;
        const char* result;
        std::string text;
    } cases[] = {
        {device, "answers", "KESTRA answers in"},
        {silent.Path(), "no_answer", "no answer"},
        {held.Path(), "busy", "held by cli_tests (pid " + std::to_string(getpid()) + ")"},
        {garbage.Path(), "garbage", "5 byte(s) but no KESTRA frame"},
        {echo.Path(), "echo", "only our own frame came back"},
        {"/dev/kestra-none", "no_such_port", "no such port"},
    };
    std::vector<std::string> args{"--json", "find", "--only"};
    for (const auto& c : cases) {
        args.insert(args.end(), {"--port", c.port});
    }
    for (const PtyPeer& p : moreSilent) {
        args.insert(args.end(), {"--port", p.Path()});
    }
    QElapsedTimer clock;
    clock.start();
    int code = -1;
    const QJsonObject found = CtlJson(args, &code);
    // At the same time: one by one, the six silent ports alone would wait 6 x 800 ms.
    EXPECT_LT(clock.elapsed(), 3 * 800);
    EXPECT_EQ(code, kExitOk);
    EXPECT_EQ(found["found"].toArray(), QJsonArray{QString::fromStdString(device)});
    const QJsonArray ports = found["ports"].toArray();
    ASSERT_EQ(ports.size(), 10);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const QJsonObject p = ports[static_cast<qsizetype>(i)].toObject();
        SCOPED_TRACE(cases[i].port);
        EXPECT_EQ(p["name"].toString().toStdString(), cases[i].port);
        EXPECT_EQ(p["result"].toString().toStdString(), cases[i].result);
        EXPECT_THAT(p["text"].toString().toStdString(), testing::HasSubstr(cases[i].text));
    }
    EXPECT_GE(ports[0].toObject()["reply_ms"].toInt(-1), 0);
    EXPECT_EQ(kestra.Received(), std::vector<ByteVector>{LCommProc::PollFrame()}) << "one poll, nothing else";
}

// No permission is the system's word for this user: run the program as
// nobody on a pseudo-terminal that only root and the group tty may use.
TEST(Find, NamesTheGroupToJoinWhenPermissionIsRefused)
{
    PtyPeer peer;
    const QFileInfo info(QString::fromStdString(peer.Path()));
    if (getuid() != 0 || info.groupId() == 65534 || !QFileInfo::exists(QStringLiteral("/usr/bin/setpriv"))) {
        GTEST_SKIP() << "needs root and setpriv to become another user";
    }
    QProcess p;
    p.start(QStringLiteral("/usr/bin/setpriv"),
            {"--reuid=65534", "--regid=65534", "--clear-groups", "--", KESTRACTL_PROGRAM, "--json", "find", "--only",
             "--port", QString::fromStdString(peer.Path())});
    ASSERT_TRUE(p.waitForFinished(10000));
    const QJsonObject r = QJsonDocument::fromJson(p.readAllStandardOutput()).object()["ports"].toArray()[0].toObject();
    const QByteArray said = p.readAllStandardError();
    if (r.isEmpty() && said.contains("Permission denied")) {
        GTEST_SKIP() << "nobody cannot run the program from this folder";
    }
    EXPECT_EQ(p.exitCode(), 1) << said.constData();
    EXPECT_EQ(r["result"], "no_permission");
    EXPECT_EQ(r["group"], info.group());
    EXPECT_THAT(r["text"].toString().toStdString(), testing::HasSubstr("sudo usermod -aG " + info.group().toStdString()));
}

// A short look at lines with each fault the simulator can show, and an echo.
TEST(Doctor, TellsEachFaultApart)
{
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    Responder echo(Echo);
    const struct {
        sim::Fault fault;
        bool bootLoader;
        const char* healthy;  // the figure that must show it, as "key" or "key=0"
        const char* advice;
    } cases[] = {
        {{}, false, "", ""},
        {{}, true, "answered=0", "did not finish: the KESTRA waits in its boot loader"},
        {{sim::FaultKind::Noise, 3}, false, "noise_bytes", "noise"},
        {{sim::FaultKind::Truncate, 3}, false, "garbled_or_lost", "no whole KESTRA frame"},
        {{sim::FaultKind::Stale}, false, "repeats", "copies of earlier replies"},
        {{}, false, "echoes", "loopback plug"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.advice);
        sim::SimOptions options;
        options.bootLoader = c.bootLoader;
        sim::KestraSim kestra(options);
        const std::string port = std::string(c.advice) == "loopback plug" ? echo.Path() : kestra.Start();
        kestra.SetFault(c.fault);
        if (c.bootLoader) {
            NoteUpdateBegun(QString::fromStdString(port));  // an update cut off on this port
        }
        int code = -1;
        const QJsonObject r = CtlJson({"--port", port, "doctor", "--for", "700", "--wait", "100", "--json"}, &code);
        const bool healthy = *c.healthy == '\0';
        EXPECT_EQ(r["healthy"].toBool(), healthy);
        EXPECT_EQ(code, healthy ? kExitOk : kExitDevice);
        EXPECT_GE(r["polls"].toInt(), 3);
        const QString figure = QString::fromLatin1(c.healthy);
        if (figure == "answered=0") {
            EXPECT_EQ(r["answered"].toInt(-1), 0);
        } else if (figure == "garbled_or_lost") {
            EXPECT_GT(r["garbled"].toInt() + r["lost"].toInt(), 0);
        } else if (!healthy) {
            EXPECT_GT(r[figure].toInt(), 0) << qPrintable(QJsonDocument(r).toJson());
        } else {
            EXPECT_EQ(r["answered"], r["polls"]);
            EXPECT_LE(r["reply_ms"]["median"].toInt(-1), r["reply_ms"]["worst"].toInt(-1));
            EXPECT_GE(r["reply_ms"]["median"].toInt(-1), 0);
        }
        const QString advice = QJsonDocument(r["advice"].toArray()).toJson();
        EXPECT_TRUE(advice.contains(QLatin1String(c.advice))) << qPrintable(advice);
        for (const ByteVector& f : kestra.Received()) {
            EXPECT_EQ(f, LCommProc::PollFrame()) << "polls only";
        }
    }
}
