// Saves the COM tab and the decoded traffic log, English then German, with
// the panel connected to the simulated KESTRA and a few changes logged; the
// COM tab after a search; the status bar while a port gives no answer.
#include "Fmain.h"
#include "Fmsg.h"
#include "KestraSim.h"
#include "Lcomm.h"
#include "Panel.h"
#include "PortSearch.h"
#include "RadioGroup.h"
#include "Settings.h"
#include "StatusBar.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(outDir);
    QTemporaryDir settings;
    sim::KestraSim device;
    LComm::SetPortOverride(QString::fromStdString(device.Start()));
    TfrmMain w;
    w.SetSettingsStore(std::make_unique<SettingsStore>(settings.filePath(QStringLiteral("settings.ini"))));
    w.NameSimulatedDevice();
    w.show();
    QTest::qWait(1500);  // shown, and the whole state read
    w.PageControl1->setCurrentWidget(w.tabCOM);
    w.btnViewmessagesClick();
    w.frmMsg->cbDecoded->setChecked(true);
    w.frmMsg->Clear();
    for (int n : {2, 3, 2}) {
        QTest::mouseClick(w.Panel[n], Qt::LeftButton);
    }
    QTest::mouseClick(w.btnCD, Qt::LeftButton);
    QTest::qWait(500);
    int saved = 0;
    for (const auto& [name, item] : {std::pair{"english", 1}, std::pair{"german", 0}}) {
        w.rdgLanguage->SetItemIndex(item);  // as the user chooses it
        w.rdgLanguageClick();
        QTest::qWait(200);
        for (const auto& [what, widget] : {std::pair<const char*, QWidget*>{"com", &w}, {"log", w.frmMsg}}) {
            const QString file = QStringLiteral("%1/%2-%3.png").arg(outDir, QLatin1String(what), QLatin1String(name));
            saved += widget->grab().save(file) ? 1 : 0;
        }
    }
    // The COM tab after a search, disconnected: the simulator found, a missing port not listed.
    w.rdgLanguage->SetItemIndex(1);
    w.rdgLanguageClick();
    const bool connected = w.Connected();
    w.btnDisconnectClick();
    w.Search()->SetCandidates([&device](QStringList* labels) {
        *labels = {QStringLiteral("COM2 (/dev/ttyS1)"), QStringLiteral("/dev/ttyUSB0 (FT232R USB UART)")};
        return QStringList{QStringLiteral("/dev/kestra-none"), QString::fromStdString(device.Path())};
    });
    QTest::mouseClick(w.Search()->btnSearch, Qt::LeftButton);
    for (int i = 0; i < 100 && w.Search()->Searches() == 0; ++i) {
        QTest::qWait(50);
    }
    w.PageControl1->setCurrentWidget(w.tabCOM);
    QTest::qWait(200);
    saved += w.grab().save(outDir + QStringLiteral("/com-search-english.png")) ? 1 : 0;
    // Connected to a port where nothing answers: the status bar says so
    // before the connection-error box would come.
    device.SetFault({sim::FaultKind::Silence, 0, -1});
    w.btnConnectClick();
    QTest::qWait(1500);
    const QString waiting = w.sbMain->PanelText(2);
    saved += waiting.contains(QLatin1String("no answer")) && w.grab().save(outDir + QStringLiteral("/status-no-answer-english.png")) ? 1 : 0;
    w.btnDisconnectClick();
    std::printf("%d pictures in %s\n", saved, qPrintable(outDir));
    return connected && saved == 6 ? 0 : 1;
}
