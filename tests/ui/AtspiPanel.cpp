// The panel as the AT-SPI check sees it: the real window, connected to the
// simulated KESTRA on a pseudo-terminal, with its settings in a scratch
// directory. Not a test by itself: atspi_tree.py starts it under Xvfb with a
// session bus and reads its accessible tree. It quits on its own after
// the given number of seconds (default 60) so that it never outlives a run.
#include "Fmain.h"
#include "KestraSim.h"
#include "Lcomm.h"
#include "Settings.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>

namespace {
volatile std::sig_atomic_t terminated = 0;
}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestra-a11y-panel"));
    const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 60;

    QTemporaryDir dir;
    sim::KestraSim device;
    const std::string path = device.Start();
    if (path.empty() || !dir.isValid()) {
        std::fprintf(stderr, "kestra-a11y-panel: no pseudo-terminal or scratch directory\n");
        return 1;
    }
    LComm::SetPortOverride(QString::fromStdString(path));

    TfrmMain w;
    w.SetSettingsStore(std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.ini"))));
    w.show();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    // The check stops it with SIGTERM: it then ends as after its time, so
    // its scratch directory goes and its coverage counters are written.
    std::signal(SIGTERM, [](int) { terminated = 1; });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [] {
        if (terminated != 0) {
            QCoreApplication::quit();
        }
    });
    watch.start(50);
    const int rc = app.exec();
    w.Disconnect();
    return rc;
}
