// Parsed reports of any shape against a live main window: the dispatcher
// must never crash, read past a payload or move a control outside its range.
#include "Dispatcher.h"
#include "Fmain.h"
#include "Lcmd.h"
#include "Lcomm.h"
#include "Rhtrack.h"

#include <QApplication>
#include <QProgressBar>

#include <cstdlib>
#include <memory>

namespace {
TfrmMain* Window()
{
    static int argc = 1;
    static char name[] = "dispatcher_fuzz";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new QApplication(argc, argv);
    }();
    (void)app;
    static TfrmMain* window = [] {
        LComm::SetPortOverride(QStringLiteral("/dev/kestra-fuzz-no-such-port"));
        auto* w = new TfrmMain;
        w->EnablePanelControls();
        return w;
    }();
    return window;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TfrmMain* w = Window();
    static ReportDispatcher dispatcher(*w, [](const LCmd&, std::uint8_t) {}, [](const QString&) {});
    // The input is a sequence of reports: sub byte, payload length, payload.
    std::size_t i = 0;
    while (i + 2 <= size) {
        const std::uint8_t subByte = data[i];
        const std::size_t length = data[i + 1] % 4;
        i += 2;
        class Report : public LCmd {
        public:
            Report(std::uint8_t s, const std::uint8_t* p, std::size_t n) : LCmd(0x01, s) { payload_.assign(p, p + n); }
        };
        const std::size_t n = std::min(length, size - i);
        const Report report(subByte, data + i, n);
        i += n;
        QString text;
        dispatcher.DispatchReport(LCmd(report.MakeFrame(1)), text);
    }
    for (TrhTrackBar* f : {w->tbLine, w->tbSubLeft, w->tbMic[1], w->tbThreshold, w->tbHoldTime}) {
        if (f->Position() < f->Min() || f->Position() > f->Max()) {
            std::abort();
        }
    }
    for (QProgressBar* b : {w->pgbLine, w->pgbSubRight, w->pgbMic[6]}) {
        if (b->value() < b->minimum() || b->value() > b->maximum()) {
            std::abort();
        }
    }
    return 0;
}
