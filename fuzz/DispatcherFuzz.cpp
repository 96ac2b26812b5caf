// Parsed reports of any shape against a live main window: the dispatcher
// must never crash, read past a payload or move a control outside its range.
#include "Dispatcher.h"
#include "Fmain.h"
#include "FuzzCheck.h"
#include "Lcmd.h"
#include "Lcomm.h"
#include "Rhtrack.h"

#include <QApplication>
#include <QProgressBar>

namespace {
// A report as the line delivers it: sub byte and any payload, framed.
class Report : public LCmd {
public:
    Report(std::uint8_t s, const std::uint8_t* p, std::size_t n) : LCmd(0x01, s) { payload_.assign(p, p + n); }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // One window for every input, as one runs for many reports.
    static TfrmMain* const w = [] {
        static int argc = 1;
        static char name[] = "dispatcher_fuzz";
        static char* argv[] = {name, nullptr};
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        new QApplication(argc, argv);
        LComm::SetPortOverride(QStringLiteral("/dev/kestra-fuzz-no-such-port"));
        auto* window = new TfrmMain;
        window->EnablePanelControls();
        return window;
    }();
    static ReportDispatcher dispatcher(*w, [](const QString&) {},
                                       [](bool master, bool ganged) { w->ShowPairGanged(master, ganged, false); });
    // The input is a sequence of reports: sub byte, payload length (0-3), payload.
    for (std::size_t i = 0; i + 2 <= size;) {
        const std::size_t n = std::min<std::size_t>(data[i + 1] % 4, size - i - 2);
        QString text;
        dispatcher.DispatchReport(DecodeReport(LCmd(Report(data[i], data + i + 2, n).MakeFrame(1))), text);
        i += 2 + n;
    }
    for (TrhTrackBar* f : {w->tbLine, w->tbSubLeft, w->tbMic[1], w->tbThreshold, w->tbHoldTime}) {
        Require(f->Position() >= f->Min() && f->Position() <= f->Max());
    }
    for (QProgressBar* b : {w->pgbLine, w->pgbSubRight, w->pgbMic[6]}) {
        Require(b->value() >= b->minimum() && b->value() <= b->maximum());
    }
    return 0;
}
