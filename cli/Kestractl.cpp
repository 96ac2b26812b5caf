#include "Kestractl.h"

#include "DeviceSession.h"
#include "Find.h"
#include "FirmwareImage.h"
#include "KestraVersion.h"
#include "KestraSim.h"
#include "Output.h"
#include "Panel.h"
#include "PortName.h"
#include "Serve.h"
#include "UpdateProgress.h"
#include "StateJson.h"
#include "StopSignals.h"

#include <CLI/CLI.hpp>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSerialPortInfo>
#include <QStandardPaths>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// Ctrl+C (or SIGTERM) is how `watch` without --for ends: a normal end, as
// for `serve`. A second Ctrl+C ends the process the default way.
std::atomic<bool> g_stopWatch{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnStopSignal(int)
{
    g_stopWatch = true;
}

// The file replaces the one it is named after only once written whole: a full
// disk, a size limit or a kill leaves a previous backup as it was. A device or
// pipe (nothing there to keep, and no folder to write aside in) is written to.
std::optional<QString> WriteWhole(const QString& name, const QByteArray& bytes)
{
    // Unbuffered, and written on after a short write: Qt counts a short write
    // (a size limit reached) as done without an error; the next one names it.
    const auto write = [&bytes](QFileDevice& f) {
        qint64 done = 0;
        for (qint64 n = 0; done < bytes.size(); done += n) {
            if ((n = f.write(bytes.constData() + done, bytes.size() - done)) <= 0) {
                break;
            }
        }
        return done == bytes.size();
    };
    const QFileInfo info(name);
    if (info.exists() && !info.isFile()) {
        QFile f(name);
        if (f.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && write(f)) {
            return std::nullopt;
        }
        return f.errorString();
    }
    QSaveFile f(name);
    if (f.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && write(f) && f.commit()) {
        return std::nullopt;
    }
    return f.errorString();
}

// Where the demo device keeps its memory between runs (the user's state folder),
// so that `set` and then `get` on it show what was set.
QString DemoStateFile()
{
#if defined(Q_OS_UNIX)
    QString dir = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(dir)) {
        dir = QDir::homePath() + QStringLiteral("/.local/state");
    }
    dir += QStringLiteral("/kestractl");
#else
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
#endif
    QDir().mkpath(dir);
    return dir + QStringLiteral("/demo-state");
}

// Where DemoStateFile is, as --help says it.
constexpr const char* kDemoStateWhere =
#if defined(Q_OS_UNIX)
    "$XDG_STATE_HOME/kestractl/demo-state (~/.local/state/kestractl/demo-state)";
#else
    "demo-state in the user's local application data folder (under %LOCALAPPDATA%)";
#endif

// The demo device's speech while `watch` runs: on and off on microphone 1, so
// that ducking and levels come and go.
class DemoSpeech {
public:
    static constexpr int kPeriodMs = 3000;
    explicit DemoSpeech(sim::KestraSim& device)
        : thread_([this, &device] {
              std::unique_lock lock(mutex_);
              for (bool on = true; !stop_; on = !on) {
                  device.SetSpeech(on ? 1u : 0u);
                  stopped_.wait_for(lock, std::chrono::milliseconds(kPeriodMs), [this] { return stop_; });
              }
          })
    {
    }
    ~DemoSpeech()
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        stopped_.notify_one();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stop_ = false;
    std::thread thread_;  // last: starts once the rest is there
};

struct Options {
    std::vector<std::string> ports;
    bool demo = false;
    bool demoReset = false;
    bool json = false;
    int timeoutMs = DeviceSession::kDefaultTimeoutMs;
    std::vector<std::string> assignments;
    std::string file;
    std::string presetAction;
    int preset = 0;
    bool yes = false;
    int watchMs = -1;
    bool bootLoader = false;
    bool dryRun = false;
};

// A value as `set` takes it: on/off, mute for the mute position, numbers, names.
QString Word(const QJsonValue& v)
{
    return v.isBool()   ? (v.toBool() ? QStringLiteral("on") : QStringLiteral("off"))
           : v.isNull() ? QStringLiteral("mute")
           : v.isDouble() ? QString::number(v.toDouble())
                          : v.toString();
}

// What turning `from` into `to` changes, one line per item, named as `set`
// names it: "mic3.gain_db: -10 -> -12.5" (a gain by its level alone).
QStringList ChangeLines(const DeviceState& from, const DeviceState& to)
{
    QStringList lines;
    const std::function<void(const QString&, const QJsonObject&, const QJsonObject&)> walk =
        [&](const QString& prefix, const QJsonObject& a, const QJsonObject& b) {
            for (auto it = b.begin(); it != b.end(); ++it) {
                const QString path = prefix + it.key();
                if (it->isObject()) {
                    walk(path + QLatin1Char('.'), a.value(it.key()).toObject(), it->toObject());
                } else if (it.key() != QLatin1String("position") && a.value(it.key()) != *it) {
                    lines << QStringLiteral("%1: %2 -> %3").arg(path, Word(a.value(it.key())), Word(*it));
                }
            }
        };
    QJsonObject before = StateToJson(from);
    QJsonObject after = StateToJson(to);
    walk(QString(), before.take(QLatin1String("channels")).toObject(), after.take(QLatin1String("channels")).toObject());
    walk(QString(), before, after);
    return lines;
}

// What one port's run leaves behind.
struct PortResult {
    QString port;
    int code = kExitOk;
    QString text;      // the block for standard output
    QJsonValue json;   // the same with --json
    QString error;     // one line for standard error
};

QByteArray Json(const QJsonValue& v)
{
    return v.isObject() ? QJsonDocument(v.toObject()).toJson(QJsonDocument::Indented)
                        : QJsonDocument(v.toArray()).toJson(QJsonDocument::Indented);
}

// "room-%p.json" with port /dev/ttyUSB0 -> "room-ttyUSB0.json".
QString FileForPort(const QString& pattern, const QString& port)
{
    QString name = QFileInfo(port).fileName();
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    return QString(pattern).replace(QStringLiteral("%p"), name);
}

// The subcommands that work on devices, each a check that needs no device
// (files, keys, values) and a run on one port's session.
class Runner {
public:
    Runner(const Options& o, const std::string& command, std::ostream& out);

    std::optional<QString> Validate() { return verb_ != nullptr && verb_->check != nullptr ? (this->*verb_->check)() : std::nullopt; }

    // label: how the port is named in the output ("demo" for the demo device).
    PortResult Run(const QString& port, const QString& label)
    {
        PortResult r;
        r.port = label;
        DeviceSession session(o_.timeoutMs);
        SessionError e = session.Open(port);
        DeviceState state;
        if (!e && verb_ != nullptr && verb_->reads) {
            e = session.ReadState(state);
        }
        if (!e && verb_ != nullptr) {
            e = (this->*verb_->run)(session, state, r);
        }
        if (e) {
            r.code = kExitDevice;
            r.error = e.text;
        }
        return r;
    }

private:
    using Check = std::optional<QString> (Runner::*)();
    // The state a run starts from, read first where `reads`.
    using Act = SessionError (Runner::*)(DeviceSession&, DeviceState& state, PortResult&);
    struct Verb {
        const char* name;
        bool reads;
        Check check;
        Act run;
    };
    static const Verb kVerbs[];

    std::optional<QString> CheckSet()
    {
        DeviceState scratch;
        for (const auto& a : o_.assignments) {
            assignments_ << QString::fromStdString(a);
        }
        if (auto e = MergeSettings(assignments_, scratch)) {
            return QStringLiteral("set: ") + *e;
        }
        return std::nullopt;
    }

    std::optional<QString> CheckRestore()
    {
        QFile f(QString::fromStdString(o_.file));
        if (o_.file == "-" ? !f.open(stdin, QIODevice::ReadOnly) : !f.open(QIODevice::ReadOnly)) {
            return QStringLiteral("%1: cannot read: %2").arg(f.fileName(), f.errorString());
        }
        DeviceState scratch;
        if (auto e = ReadStateFile(f, file_)) {
            return QStringLiteral("%1: %2").arg(QString::fromStdString(o_.file), *e);
        }
        if (auto e = MergeStateFile(file_, scratch)) {
            return QStringLiteral("%1: %2").arg(QString::fromStdString(o_.file), *e);
        }
        return std::nullopt;
    }

    std::optional<QString> CheckUpdate()
    {
        std::string error;
        image_ = firmware::LoadFile(o_.file, &error);
        return image_.empty() ? std::optional(QString::fromStdString(error)) : std::nullopt;
    }

    std::optional<QString> CheckFactoryDefault()
    {
        if (!o_.yes) {
            return QStringLiteral("factory-default: add --yes (it overwrites the three presets and the switch-on setting)");
        }
        return std::nullopt;
    }

    std::optional<QString> CheckBackup()
    {
        if (o_.ports.size() + (o_.demo ? 1 : 0) > 1 && o_.file != "-" && o_.file.find("%p") == std::string::npos) {
            return QStringLiteral("backup: with several ports, FILE needs %p (replaced by each port's name)");
        }
        return std::nullopt;
    }

    SessionError Get(DeviceSession&, DeviceState& state, PortResult& r)
    {
        r.json = StateToJson(state);
        r.text = StateTable(state);
        return {};
    }

    SessionError Backup(DeviceSession&, DeviceState& state, PortResult& r)
    {
        const QByteArray bytes = Json(StateToJson(state));
        if (o_.file == "-") {
            r.text = QString::fromUtf8(bytes);
            r.json = StateToJson(state);
            return {};
        }
        const QString name = FileForPort(QString::fromStdString(o_.file), r.port);
        if (const auto error = WriteWhole(name, bytes)) {
            r.code = kExitUsage;
            r.error = QStringLiteral("%1: cannot write: %2").arg(name, *error);
            return {};
        }
        r.text = QStringLiteral("saved to %1\n").arg(name);
        r.json = QJsonObject{{"file", name}};
        return {};
    }

    SessionError Set(DeviceSession& s, DeviceState& state, PortResult& r)
    {
        DeviceState target = state;
        MergeSettings(assignments_, target);  // checked by CheckSet
        const auto changes = ChangesTo(state, target);
        const int sent = static_cast<int>(changes.size());
        int acknowledged = 0;
        if (SessionError e = s.Apply(changes, &acknowledged)) {
            return e;
        }
        if (sent == 0) {
            r.text = QStringLiteral("nothing to send: the device already holds that\n");
        } else if (acknowledged == 0) {
            r.text = QStringLiteral("%1 change(s) sent, each confirmed by the device\n").arg(sent);
        } else {
            // The device took them but showed no value: say so, not "confirmed".
            r.text = QStringLiteral("%1 change(s) sent: %2 confirmed by the device, %3 acknowledged without "
                                    "showing the value\n")
                         .arg(sent)
                         .arg(sent - acknowledged)
                         .arg(acknowledged);
        }
        r.json = QJsonObject{{"sent", sent}, {"confirmed", acknowledged == 0}, {"acknowledged", acknowledged}};
        return {};
    }

    SessionError Restore(DeviceSession& s, DeviceState& state, PortResult& r)
    {
        DeviceState target = state;
        MergeStateFile(file_, target);  // checked by CheckRestore
        // What changes, as the window's restore lists it before asking.
        const QStringList lines = ChangeLines(state, target);
        const QJsonArray listed = QJsonArray::fromStringList(lines);
        for (const QString& line : lines) {
            r.text += line + QLatin1Char('\n');
        }
        if (o_.dryRun) {
            r.text += QStringLiteral("%1 change(s) to send; --dry-run: nothing sent\n").arg(RestoreChanges(state, target).size());
            r.json = QJsonObject{{"changes", listed}, {"dry_run", true}};
            return {};
        }
        int sent = 0;
        if (SessionError e = s.Restore(target, &sent, &state)) {
            return e;
        }
        r.text += QStringLiteral("%1 change(s) sent; read back and verified\n").arg(sent);
        r.json = QJsonObject{{"changes", listed}, {"sent", sent}, {"verified", true}};
        return {};
    }

    SessionError Preset(DeviceSession& s, DeviceState&, PortResult& r)
    {
        const bool load = o_.presetAction == "load";
        if (SessionError e = load ? s.LoadPreset(o_.preset) : s.SavePreset(o_.preset)) {
            return e;
        }
        r.text = QStringLiteral("preset %1 %2\n").arg(o_.preset).arg(load ? "loaded" : "saved");
        r.json = QJsonObject{{"preset", o_.preset}, {"action", QString::fromStdString(o_.presetAction)}};
        return {};
    }

    SessionError FactoryDefault(DeviceSession& s, DeviceState&, PortResult& r)
    {
        if (SessionError e = s.FactoryDefault()) {
            return e;
        }
        r.text = QStringLiteral("factory default restored\n");
        r.json = QJsonObject{{"factory_default", true}};
        return {};
    }

    SessionError Watch(DeviceSession& s, DeviceState&, PortResult& r)
    {
        return s.Watch([this, &r](const ReportEvent& e) { return PrintEvent(r.port, e); }, o_.watchMs);
    }

    SessionError Update(DeviceSession& s, DeviceState&, PortResult& r)
    {
        const bool tty = isatty(STDERR_FILENO) != 0;
        SessionError e = s.Update(
            image_,
            [tty](const UpdateProgress& shown) {
                if (tty) {
                    std::fputs(ProgressLine(shown.Percent(), shown.Text()).c_str(), stderr);
                    std::fflush(stderr);
                }
            },
            o_.bootLoader);
        if (tty) {
            std::fprintf(stderr, "\n");
        }
        if (e) {
            return e;
        }
        r.text = QStringLiteral("update OK\n");
        r.json = QJsonObject{{"update", true}};
        return {};
    }

    bool PrintEvent(const QString& port, const ReportEvent& e)
    {
        if (g_stopWatch) {
            return false;
        }
        if (e.kind == ReportKind::Ack || e.kind == ReportKind::NoEffect) {
            return true;  // the polls' plain answers say nothing
        }
        const QString time = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
        QString line;
        if (o_.json) {
            QJsonObject o = EventJson(e);
            o.insert(QStringLiteral("time"), time);
            o.insert(QStringLiteral("port"), port);
            line = QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
        } else {
            line = QStringLiteral("%1 %2 %3").arg(time, port, EventText(e));
        }
        std::lock_guard lock(outMutex_);
        out_ << line.toStdString() << '\n' << std::flush;
        return true;
    }

    const Options& o_;
    const Verb* verb_ = nullptr;
    std::ostream& out_;
    std::mutex outMutex_;
    QStringList assignments_;
    QByteArray file_;
    std::vector<std::uint8_t> image_;
};

const Runner::Verb Runner::kVerbs[] = {
    {"get", true, nullptr, &Runner::Get},
    {"backup", true, &Runner::CheckBackup, &Runner::Backup},
    {"set", true, &Runner::CheckSet, &Runner::Set},
    {"restore", true, &Runner::CheckRestore, &Runner::Restore},
    {"preset", false, nullptr, &Runner::Preset},
    {"factory-default", false, &Runner::CheckFactoryDefault, &Runner::FactoryDefault},
    {"watch", false, nullptr, &Runner::Watch},
    {"update", false, &Runner::CheckUpdate, &Runner::Update},
};

Runner::Runner(const Options& o, const std::string& command, std::ostream& out) : o_(o), out_(out)
{
    const auto it = std::find_if(std::begin(kVerbs), std::end(kVerbs), [&](const Verb& v) { return command == v.name; });
    verb_ = it == std::end(kVerbs) ? nullptr : &*it;
}

int Ports(const Options& o, std::ostream& out)
{
    QJsonArray list;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        list.append(QJsonObject{{"path", info.systemLocation()},
                                {"description", info.description()},
                                {"serial_number", info.serialNumber()}});
        if (!o.json) {
            out << QStringLiteral("%1\t%2\t%3\n")
                       .arg(info.systemLocation(), info.description(), info.serialNumber())
                       .toStdString();
        }
    }
    if (o.json) {
        out << Json(list).toStdString();
    }
    return kExitOk;
}

// Edits (insertions, deletions, substitutions) between two words.
std::size_t Distance(const std::string& a, const std::string& b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

// The subcommand a misspelt word most likely meant, or "" when none is near.
std::string Nearest(const CLI::App& app, const std::string& word)
{
    std::string best;
    std::size_t bestDistance = std::max<std::size_t>(2, word.size() / 3) + 1;
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        const std::size_t d = Distance(word, sub->get_name());
        if (d < bestDistance) {
            best = sub->get_name();
            bestDistance = d;
        }
    }
    return best;
}

}  // namespace

int RunKestractl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    Options o;
    CLI::App app{"kestractl: read, set, back up and restore a KESTRA mixer", "kestractl"};
    app.add_option("--port", o.ports,
                   "Port: COMn, a device path such as /dev/ttyUSB0, tcp://HOST:PORT or rfc2217://HOST:PORT; may be repeated")
        ->allow_extra_args(false);  // one name each time: the word after it is the command
    app.add_flag("--demo", o.demo,
                 std::string("Use the built-in simulated KESTRA, named \"demo\"; it keeps its state between runs in ") +
                     kDemoStateWhere);
    app.add_flag("--demo-reset", o.demoReset, "With --demo: start the demo device afresh, forgetting what it kept");
    app.add_flag("--json", o.json, "JSON output");
    app.add_option("--timeout", o.timeoutMs, "Milliseconds to wait for each reply")->check(CLI::Range(1, 600000));
    app.set_version_flag("--version", KESTRA_VERSION, "Print the version and exit");
    app.require_subcommand(1, 1);
    // Options of the whole program may follow the subcommand too: "get --json".
    app.fallthrough();
    app.add_subcommand("ports", "Detected serial ports (path, description, serial number)");
    app.add_subcommand("get", "The whole state (a table with units, or JSON with --json)");
    auto* set = app.add_subcommand("set", "Set KEY=VALUE..., e.g. mic3.gain_db=-12.5 mic3.mute=on line_source=cd");
    set->add_option("assignments", o.assignments, "KEY=VALUE")->required();
    auto* watch = app.add_subcommand("watch", "Decoded reports as they come, timestamped");
    watch->add_option("--for", o.watchMs, "Stop after this many milliseconds")->check(CLI::Range(0, 1 << 30));
    auto* backup = app.add_subcommand("backup", "The state as JSON into FILE (\"-\": standard output)");
    backup->add_option("FILE", o.file)->required();
    auto* restore = app.add_subcommand("restore", "List and send what differs from FILE, then read back and verify");
    restore->add_option("FILE", o.file)->required();
    restore->add_flag("--dry-run", o.dryRun, "List what would change, and send nothing");
    auto* preset = app.add_subcommand("preset", "Load or save preset N (1..3)");
    preset->add_option("ACTION", o.presetAction)->required()->check(CLI::IsMember({"load", "save"}));
    preset->add_option("N", o.preset)->required()->check(CLI::Range(1, 3));
    auto* factory = app.add_subcommand("factory-default", "Presets and switch-on back to the factory set");
    factory->add_flag("--yes", o.yes, "Yes, overwrite them");
    auto* update = app.add_subcommand("update", "Firmware update from IMAGE (7104 bytes)");
    update->add_option("IMAGE", o.file)->required();
    update->add_flag("--boot-loader", o.bootLoader, "The device already waits in its boot loader");
    ServeArgs serveArgs;
    AddServeCommand(app, serveArgs);
    LineArgs lineArgs;
    AddLineCommands(app, lineArgs);
    PanelArgs panelArgs;
    CLI::App* panel = AddPanelCommand(app, panelArgs);

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kExitOk;
    } catch (const CLI::CallForVersion&) {
        out << "kestractl " << KESTRA_VERSION << '\n';
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        const std::vector<std::string> rest = app.remaining();
        const auto word = std::find_if(rest.begin(), rest.end(), [](const std::string& w) { return !w.starts_with('-'); });
        if (app.get_subcommands().empty() && word != rest.end()) {
            const std::string nearest = Nearest(app, *word);
            err << "kestractl: unknown command: " << *word;
            if (!nearest.empty()) {
                err << " (did you mean " << nearest << "?)";
            }
            err << " (allowed: ports, find, doctor, get, set, watch, backup, restore, preset, factory-default, update, "
                   "serve, panel)\n";
            return kExitUsage;
        }
        err << "kestractl: " << e.what() << " (see kestractl --help)\n";
        return kExitUsage;
    }
    const std::string command = app.get_subcommands().front()->get_name();
    if (command == "ports") {
        return Ports(o, out);
    }
    if (command == "panel") {
        return RunPanel(*panel, panelArgs, out, err);
    }

    // A name that is no port is a usage error, found before any port opens.
    for (const auto& port : o.ports) {
        const comm::PortAddress a = comm::ParsePortName(QString::fromStdString(port));
        if (!a.Ok()) {
            err << "kestractl: " << port << ": " << a.error.toStdString() << '\n';
            return kExitUsage;
        }
    }
    Runner runner(o, command, out);
    if (auto e = command == "serve" ? CheckServeArgs(serveArgs) : runner.Validate()) {
        err << "kestractl: " << e->toStdString() << '\n';
        return kExitUsage;
    }
    QStringList ports;
    for (const auto& p : o.ports) {
        ports << QString::fromStdString(p);
    }
    QStringList labels = ports;
    std::unique_ptr<sim::KestraSim> demo;
    if (o.demoReset && !o.demo) {
        err << "kestractl: --demo-reset goes with --demo\n";
        return kExitUsage;
    }
    if (o.demo) {
        sim::SimOptions options;
        options.keepReceived = false;
        options.stateFile = DemoStateFile().toStdString();
        if (o.demoReset) {
            QFile::remove(QString::fromStdString(options.stateFile));
        }
        demo = std::make_unique<sim::KestraSim>(options);
        const std::string path = demo->Start();
        if (path.empty()) {
            err << "kestractl: could not start the simulated KESTRA\n";
            return kExitDevice;
        }
        ports << QString::fromStdString(path);
        labels << QStringLiteral("demo");
    }
    if (command == "find" || command == "doctor") {
        std::vector<std::string> names, shownAs;
        for (qsizetype i = 0; i < ports.size(); ++i) {
            names.push_back(ports[i].toStdString());
            shownAs.push_back(labels[i].toStdString());
        }
        return command == "find" ? RunFind(lineArgs, names, shownAs, o.json, out)
                                 : RunDoctor(lineArgs, names, o.json, out, err);
    }
    if (ports.isEmpty()) {
        err << "kestractl: no port: give --port NAME (or --demo)\n";
        return kExitUsage;
    }

    if (command == "serve") {
        if (ports.size() != 1) {
            err << "kestractl: serve: one port (--port NAME or --demo)\n";
            return kExitUsage;
        }
        return RunServe(serveArgs, ports.front(), out, err);
    }

    // One thread and session per port, all at once. std::thread rather than
    // QThread: its join orders the results for ThreadSanitizer too; Qt adopts
    // the thread and gives each session's event loop a dispatcher.
    const bool watching = command == "watch";
    if (watching) {
        g_stopWatch = false;
        HandleStopSignals(OnStopSignal);
        // Reports come only when something changes: say at once what is watched.
        (o.json ? err : out) << "kestractl: watching " << labels.join(QStringLiteral(", ")).toStdString()
                             << " for reports (polling; each change is printed as it comes"
                             << (o.watchMs < 0 ? "; Ctrl+C ends" : "") << ")\n"
                             << std::flush;
    }
    std::unique_ptr<DemoSpeech> speech;
    if (demo && watching) {
        speech = std::make_unique<DemoSpeech>(*demo);
    }
    std::vector<PortResult> results(static_cast<std::size_t>(ports.size()));
    std::vector<std::thread> threads;
    for (qsizetype i = 0; i < ports.size(); ++i) {
        threads.emplace_back([&runner, &results, &ports, &labels, i] {
            results[static_cast<std::size_t>(i)] = runner.Run(ports.at(i), labels.at(i));
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    if (watching) {
        HandleStopSignals(SIG_DFL);
    }

    int code = kExitOk;
    const bool several = results.size() > 1;
    QJsonObject byPort;
    for (const PortResult& r : results) {
        code = std::max(code, r.code);
        if (!r.error.isEmpty()) {
            err << "kestractl: " << r.error.toStdString() << '\n';
        }
        if (r.code != kExitOk) {
            if (o.json && several) {
                byPort.insert(r.port, QJsonObject{{"error", r.error}});  // every port given has its entry
            }
            continue;
        }
        if (o.json) {
            byPort.insert(r.port, r.json);
        } else if (!r.text.isEmpty()) {
            if (several) {
                out << "== " << r.port.toStdString() << '\n';
            }
            out << r.text.toStdString();
        }
    }
    // One backup to standard output is the state file itself, --json or not.
    const bool oneBackupOut = command == "backup" && o.file == "-" && !several;
    if (o.json && !watching && !oneBackupOut) {
        out << Json(several ? QJsonValue(byPort) : byPort.begin() != byPort.end() ? *byPort.begin() : QJsonValue(QJsonObject()))
                   .toStdString();
    } else if (o.json && oneBackupOut && !results.empty() && results[0].code == kExitOk) {
        out << results[0].text.toStdString();
    }
    return code;
}
