#include "PortProbe.h"

#include "CommEvents.h"
#include "DeliverReply.h"
#include "DetectedPorts.h"
#include "EventHandoff.h"
#include "LCommProc.h"
#include "PortName.h"
#include "ReplyCollector.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <atomic>
#include <mutex>
#include <thread>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace comm {

namespace {

constexpr int kHeardKept = 16;

QString Hex(const ByteVector& bytes)
{
    QStringList parts;
    for (const std::uint8_t b : bytes) {
        parts << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    }
    return parts.join(QLatin1Char(' '));
}

#if defined(Q_OS_UNIX)
QString ProcessName(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/comm").arg(pid));
    const QString name = f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()).trimmed() : QString();
    return name.isEmpty() ? QStringLiteral("pid %1").arg(pid) : QStringLiteral("%1 (pid %2)").arg(name).arg(pid);
}

// Serial programs leave "LCK..ttyUSB0" (a pseudo-terminal: "LCK..pts_3")
// with their process id on the first line in one of the lock folders.
QString LockHolder(const QString& path)
{
    if (!path.startsWith(QStringLiteral("/dev/"))) {
        return {};
    }
    const QString file = QStringLiteral("LCK..") + path.mid(5).replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char* dir : {"/var/lock", "/run/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp",
                            "/var/tmp"}) {
        QFile f(QString::fromLatin1(dir) + QLatin1Char('/') + file);
        if (!f.open(QIODevice::ReadOnly)) {
            continue;
        }
        bool ok = false;
        const qint64 pid = QString::fromLatin1(f.readLine(32)).trimmed().toLongLong(&ok);
        if (ok && pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) {
            return ProcessName(pid);
        }
    }
    return {};
}

// A holder that leaves no lock file still shows among the processes' open
// files (those this user may look at).
QString OpenFileHolder(const QString& path)
{
    const qint64 self = ::getpid();
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool ok = false;
        const qint64 n = pid.toLongLong(&ok);
        if (!ok || n == self) {
            continue;
        }
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QString& fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
            if (QFile::symLinkTarget(fds.filePath(fd)) == path) {
                return ProcessName(n);
            }
        }
    }
    return {};
}
#endif

}  // namespace

const char* OutcomeName(ProbeOutcome outcome)
{
    switch (outcome) {
    case ProbeOutcome::Answers: return "answers";
    case ProbeOutcome::NoAnswer: return "no_answer";
    case ProbeOutcome::Garbage: return "garbage";
    case ProbeOutcome::Echo: return "echo";
    case ProbeOutcome::Busy: return "busy";
    case ProbeOutcome::NoPermission: return "no_permission";
    case ProbeOutcome::NoSuchPort: return "no_such_port";
    case ProbeOutcome::OpenFailed: break;
    }
    return "open_failed";
}

ProbeOutcome ClassifyOpenFailure(const OpenFacts& f)
{
    if (!f.exists) {
        return ProbeOutcome::NoSuchPort;
    }
    if (f.accessDenied) {
        return ProbeOutcome::NoPermission;
    }
    if (f.busy || !f.holder.isEmpty()) {
        return ProbeOutcome::Busy;
    }
    return ProbeOutcome::OpenFailed;
}

OpenFacts InspectOpenFailure(const QString& name, const QString& openError)
{
    OpenFacts f;
    f.openError = openError;
    const PortAddress a = ParsePortName(name);
    if (!a.Ok() || a.kind != PortAddress::Kind::Serial || !a.path.startsWith(QLatin1Char('/'))) {
        return f;
    }
    const QString path = QFileInfo(a.path).canonicalFilePath();
    f.exists = !path.isEmpty();
    if (!f.exists) {
        return f;
    }
#if defined(Q_OS_UNIX)
    const QByteArray native = QFile::encodeName(path);
    f.accessDenied = ::access(native.constData(), R_OK | W_OK) != 0 && errno == EACCES;
    struct stat st {};
    if (::stat(native.constData(), &st) == 0) {
        if (const group* g = ::getgrgid(st.st_gid)) {
            f.group = QString::fromLocal8Bit(g->gr_name);
        }
    }
    if (!f.accessDenied) {
        // A port held with exclusive use refuses a second open with EBUSY.
        const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        f.busy = fd < 0 && errno == EBUSY;
        if (fd >= 0) {
            ::close(fd);
        }
        f.holder = LockHolder(path);
        if (f.holder.isEmpty()) {
            f.holder = OpenFileHolder(path);
        }
    }
#endif
    return f;
}

QString ResultText(const ProbeResult& r)
{
    switch (r.outcome) {
    case ProbeOutcome::Answers:
        return QStringLiteral("KESTRA answers in %1 ms").arg(r.replyMs) +
               (r.echoed ? QStringLiteral(" (the adapter also echoes what is sent)") : QString());
    case ProbeOutcome::NoAnswer:
        return QStringLiteral("no answer (no KESTRA on this port, switched off, or the wrong cable)");
    case ProbeOutcome::Garbage:
        return QStringLiteral("%1 byte(s) but no KESTRA frame: another device, or another speed than 9600 baud (%2)")
            .arg(r.bytes)
            .arg(Hex(r.reply));
    case ProbeOutcome::Echo:
        return QStringLiteral("only our own frame came back: a loopback plug, or a half-duplex adapter with no "
                              "KESTRA behind it");
    case ProbeOutcome::Busy:
        return r.holder.isEmpty() ? QStringLiteral("busy: another program holds it")
                                  : QStringLiteral("busy: held by %1").arg(r.holder);
    case ProbeOutcome::NoPermission:
        return r.group.isEmpty()
                   ? QStringLiteral("no permission to use it")
                   : QStringLiteral("no permission: it belongs to the group \"%1\"; join it with  sudo usermod -aG %1 "
                                    "$USER  and log in again")
                         .arg(r.group);
    case ProbeOutcome::NoSuchPort:
        return QStringLiteral("no such port");
    case ProbeOutcome::OpenFailed:
        break;
    }
    return QStringLiteral("cannot open: %1").arg(r.detail);
}

// The driver with an ear on the raw bytes: how many came, which of them fell
// outside any frame, and the first few for the report.
class PortProbe::Driver : public LCommProc {
public:
    explicit Driver(QObject* owner) : LCommProc(owner) {}
    ~Driver() override { Close(); }

    struct Heard {
        int bytes = 0;
        int noise = 0;
        ByteVector first;
    };
    Heard Take()
    {
        std::lock_guard lock(mutex_);
        Heard h = std::move(heard_);
        heard_ = {};
        return h;
    }

protected:
    void OnRxChar(std::uint8_t byte) override
    {
        {
            std::lock_guard lock(mutex_);
            ++heard_.bytes;
            if (heard_.first.size() < kHeardKept) {
                heard_.first.push_back(byte);
            }
            const std::size_t before = shadow_.Pending().size();
            if (shadow_.Feed(byte, frame::kModeFramed)) {
                shadow_.Take();
            } else if (shadow_.Pending().size() == before) {
                ++heard_.noise;
            }
        }
        LCommProc::OnRxChar(byte);
    }

private:
    std::mutex mutex_;
    Heard heard_;
    ReplyCollector shadow_;
};

PortProbe::PortProbe(const QString& name) : name_(name) {}

PortProbe::~PortProbe()
{
    Close();
}

bool PortProbe::Open(ProbeResult* failure)
{
    // A thread Qt adopted gets its event dispatcher with its first event
    // loop: make it before the reader thread exists to wake it.
    QEventLoop().processEvents();
    const PortAddress a = ParsePortName(name_);
    if (!a.Ok()) {
        failure->outcome = ProbeOutcome::OpenFailed;
        failure->detail = a.error;
        return false;
    }
    if (a.kind == PortAddress::Kind::Serial && a.path.startsWith(QLatin1Char('/')) && !QFileInfo::exists(a.path)) {
        failure->outcome = ProbeOutcome::NoSuchPort;
        return false;
    }
    driver_ = std::make_unique<Driver>(this);
    driver_->IgnorePortOverride(true);
    if (driver_->OpenNamed(name_, comm::LineSettings::At(kBaud))) {
        return true;
    }
    const OpenFacts f = InspectOpenFailure(name_, driver_->LastOpenError());
    driver_.reset();
    failure->outcome = ClassifyOpenFailure(f);
    failure->group = f.group;
    failure->holder = f.holder;
    failure->detail = f.openError;
    return false;
}

void PortProbe::Close()
{
    if (driver_) {
        driver_->Close();
        driver_.reset();
    }
}

bool PortProbe::event(QEvent* e)
{
    // The reader thread released the event when it posted it.
    AcquireEvent(e);
    if (DeliverReply(e, [this] { return static_cast<LCommProc*>(driver_.get()); },
                     [this](const RecCompleteEvent& r) {
                         frames_.push_back(r.Reply());
                         times_.push_back(r.ReplyTimeMs());
                     })) {
        Wake();
        return true;
    }
    if (e->type() == kCommErrEvent) {
        if (driver_ && static_cast<CommErrEvent*>(e)->DriverId() == driver_->Id()) {
            failed_ = true;
        }
        Wake();
        return true;
    }
    return QObject::event(e);
}

void PortProbe::Wake()
{
    wait_.Wake();
}

void PortProbe::Run(int ms, const std::function<bool()>& done)
{
    QEventLoop().processEvents();
    wait_.Until(done, std::max(ms, 0));
}

void PortProbe::Idle(int ms)
{
    Run(ms, [] { return false; });
}

PollExchange PortProbe::Poll(int waitMs)
{
    PollExchange x;
    Run(0, [] { return true; });
    // What came between polls was asked by no one.
    for (const ByteVector& f : frames_) {
        ++x.extraFrames;
        if (!lastReply_.empty() && f == lastReply_) {
            ++x.repeats;
        }
    }
    frames_.clear();
    times_.clear();
    if (!driver_ || failed_ || !driver_->IsOpen()) {
        x.lineFailed = true;
        return x;
    }
    x.between = driver_->Take().bytes;
    const ByteVector& poll = LCommProc::PollFrame();
    if (driver_->IsBusy()) {
        driver_->Retransmit(poll);  // the last poll's reply never came
    } else {
        driver_->Send(poll);
    }
    std::size_t seen = 0;
    Run(waitMs, [&] {
        for (; seen < frames_.size() && !x.answered && !x.garbled; ++seen) {
            const ByteVector& f = frames_[seen];
            if (f == poll) {
                x.echoed = true;
            } else {
                (ChecksumRight(f) ? x.answered : x.garbled) = true;
                x.replyMs = static_cast<int>(times_[seen]);
                x.reply = f;
            }
        }
        return x.answered || x.garbled || failed_;
    });
    // The rest belongs to the next poll's count.
    frames_.erase(frames_.begin(), frames_.begin() + static_cast<std::ptrdiff_t>(seen));
    times_.erase(times_.begin(), times_.begin() + static_cast<std::ptrdiff_t>(seen));
    const Driver::Heard h = driver_->Take();
    x.bytes = h.bytes;
    x.noise = h.noise;
    x.heard = h.first;
    x.lineFailed = failed_;
    if (x.answered) {
        lastReply_ = x.reply;
    }
    return x;
}

ProbeResult ProbePort(const QString& name, const QString& label, int waitMs)
{
    ProbeResult r;
    r.port = label;
    r.name = name;
    PortProbe probe(name);
    if (!probe.Open(&r)) {
        return r;
    }
    const PollExchange x = probe.Poll(waitMs);
    r.echoed = x.echoed;
    r.bytes = x.bytes;
    r.replyMs = x.replyMs;
    r.reply = x.answered ? x.reply : x.heard;
    const int echoBytes = x.echoed ? static_cast<int>(LCommProc::PollFrame().size()) : 0;
    if (x.answered) {
        r.outcome = ProbeOutcome::Answers;
    } else if (x.garbled || x.bytes > echoBytes) {
        r.outcome = ProbeOutcome::Garbage;
    } else if (x.echoed) {
        r.outcome = ProbeOutcome::Echo;
    } else if (x.lineFailed) {
        r.outcome = ProbeOutcome::OpenFailed;
        r.detail = QStringLiteral("the port failed while waiting for an answer");
    } else {
        r.outcome = ProbeOutcome::NoAnswer;
    }
    return r;
}

std::vector<ProbeResult> ProbePorts(const QStringList& names, const QStringList& labels, int waitMs)
{
    std::vector<ProbeResult> results(static_cast<std::size_t>(names.size()));
    std::vector<std::thread> threads;
    for (qsizetype i = 0; i < names.size(); ++i) {
        threads.emplace_back([&, i] {
            results[static_cast<std::size_t>(i)] =
                ProbePort(names.at(i), i < labels.size() ? labels.at(i) : names.at(i), waitMs);
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    return results;
}

QStringList SearchCandidates(const QStringList& given, bool onlyGiven, QStringList* labels)
{
    QStringList names;
    QSet<QString> seen;
    const auto add = [&](const QString& name, const QString& label) {
        const PortAddress a = ParsePortName(name);
        QString key = name.trimmed();
        if (a.Ok() && a.kind == PortAddress::Kind::Serial) {
            const QString canonical = QFileInfo(a.path).canonicalFilePath();
            key = canonical.isEmpty() ? a.path : canonical;
        }
        if (seen.contains(key)) {
            return;
        }
        seen.insert(key);
        names << name;
        if (labels != nullptr) {
            *labels << label;
        }
    };
    if (!onlyGiven) {
        for (int n = 1; n <= 8; ++n) {
            const QString path = DefaultPortName(n);
            add(path, path.startsWith(QLatin1Char('/')) ? QStringLiteral("COM%1 (%2)").arg(n).arg(path) : path);
        }
        for (const DetectedPort& p : DetectPorts()) {
            add(p.location, DisplayText(p));
        }
    }
    for (const QString& g : given) {
        add(g, g);
    }
    return names;
}

}  // namespace comm
