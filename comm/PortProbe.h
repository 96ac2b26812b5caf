// Looking for the KESTRA: open a port at 9600 baud 8N1, send the poll frame
// (10 02 01 01 05 10 03 04, which changes nothing on a device) and say what
// came back, or why the port would not open.
//
// PortProbe is one port's line on its own LCommProc: made, used and
// destroyed on one thread, which it runs a local event loop on while it
// waits. ProbePorts looks at many ports at once, one thread each.
#pragma once

#include "EventWait.h"
#include "Lcmd.h"
#include "LineSettings.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace comm {

enum class ProbeOutcome {
    Answers,       // a complete frame came back
    NoAnswer,      // silence
    Garbage,       // bytes, but no frame: another device, or another speed
    Echo,          // our own frame came back and nothing else: a loopback plug or half-duplex adapter
    Busy,          // another program holds the port
    NoPermission,  // this user may not use the device
    NoSuchPort,
    OpenFailed,    // anything else the system refused; the detail says what
};

// "answers", "no_answer", ...: the names --json uses.
const char* OutcomeName(ProbeOutcome outcome);

// What the system says about a port that would not open.
struct OpenFacts {
    bool exists = true;
    bool accessDenied = false;  // read/write refused to this user
    bool busy = false;          // held exclusively, or locked by a live process
    QString group;              // the device's group (for joining it)
    QString holder;             // "minicom (pid 812)" when the system says
    QString openError;          // the driver's own words
};

struct ProbeResult {
    QString port;   // as listed: "COM1 (/dev/ttyS0)", "/dev/ttyUSB0", "tcp://host:4001"
    QString name;   // what to give as --port
    ProbeOutcome outcome = ProbeOutcome::NoAnswer;
    int replyMs = -1;      // Answers: poll to the reply's last byte
    bool echoed = false;   // our frame came back too
    int bytes = 0;         // bytes heard
    QString group;
    QString holder;
    QString detail;        // OpenFailed: the system's words
    ByteVector reply;      // the first reply frame, or the first bytes heard (up to 16)
};

ProbeOutcome ClassifyOpenFailure(const OpenFacts& facts);
// Gathers the facts about a port whose open just failed.
OpenFacts InspectOpenFailure(const QString& name, const QString& openError);

// One line for people: "KESTRA answers in 12 ms", "busy: held by minicom (pid 812)".
QString ResultText(const ProbeResult& r);

// What one poll drew.
struct PollExchange {
    bool answered = false;  // a frame other than our own echo, checksum right
    bool garbled = false;   // a frame whose checksum is wrong
    bool echoed = false;
    int replyMs = -1;
    int bytes = 0;          // bytes heard while waiting
    int noise = 0;          // of those, bytes outside any frame
    int between = 0;        // bytes that came since the last poll's end, before this one
    int extraFrames = 0;    // frames that came between polls, unasked for
    int repeats = 0;        // of those, copies of an earlier reply (kept by a device server)
    ByteVector reply;
    ByteVector heard;  // the first bytes heard (up to 16)
    bool lineFailed = false;  // the port went away
};

class PortProbe : public QObject {
public:
    static constexpr int kBaud = comm::LineSettings{}.baudRate;
    explicit PortProbe(const QString& name);
    ~PortProbe() override;

    // False with *failure filled in (outcome, group, holder, detail).
    bool Open(ProbeResult* failure);
    // Sends one poll and waits up to waitMs for its reply; frames that came
    // since the last poll are counted as extra first.
    PollExchange Poll(int waitMs);
    // Runs the event loop for ms (frames that come meanwhile count as extra at the next poll).
    void Idle(int ms);
    void Close();

protected:
    bool event(QEvent* e) override;

private:
    class Driver;
    void Run(int ms, const std::function<bool()>& done);
    void Wake();

    QString name_;
    std::unique_ptr<Driver> driver_;
    std::vector<ByteVector> frames_;  // replies delivered, not yet taken
    std::vector<quint32> times_;      // and their reply times
    EventWait wait_;
    bool failed_ = false;
    ByteVector lastReply_;
};

// Polls one port once (and waits a little longer after an echo).
ProbeResult ProbePort(const QString& name, const QString& label, int waitMs);
// All at once, one thread each; results in the order given.
std::vector<ProbeResult> ProbePorts(const QStringList& names, const QStringList& labels, int waitMs);

// Where to look: the detected ports, COM1..COM8's devices and `given`, each
// device once (links resolved). labels: how each is shown ("COM1 (/dev/ttyS0)").
QStringList SearchCandidates(const QStringList& given, bool onlyGiven, QStringList* labels);

}  // namespace comm
