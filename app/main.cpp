// kestra-panel: the KESTRA remote panel.
//
//   kestra-panel                 connect on the stored COM port
//   kestra-panel --port PATH     use this serial device for this run
//   kestra-panel --demo          run against the built-in simulated KESTRA
//   kestra-panel --service       show the firmware-update controls (About tab)
//   kestra-panel --firmware FILE flash this image in an update of this run
#include "AppIdentity.h"
#include "FirmwareImage.h"
#include "Fmain.h"
#include "KestraSim.h"
#include "KestraVersion.h"
#include "Lcomm.h"
#include "StatusBar.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <memory>
#include <string>

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppName));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRA_VERSION));

    QCommandLineParser cli;
    cli.setApplicationDescription(QStringLiteral("KESTRA Remote Panel: remote control of the KESTRA mixer over RS-232."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version and exit."));
    cli.addOption(help);
    cli.addOption(version);
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Use this port (a device such as /dev/ttyUSB0, tcp://HOST:PORT or rfc2217://HOST:PORT) instead of the stored one, for this run."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Start a simulated KESTRA inside the program and connect to it."));
    const QCommandLineOption speech(QStringLiteral("demo-speech"),
                                    QStringLiteral("With --demo: simulated speech on these microphones, e.g. 1,3."),
                                    QStringLiteral("MICS"));
    cli.addOption(port);
    cli.addOption(demo);
    cli.addOption(speech);
    const QCommandLineOption service(QStringLiteral("service"),
                                     QStringLiteral("Show the firmware-update buttons and progress bar on the About tab."));
    const QCommandLineOption firmwareFile(QStringLiteral("firmware"),
                                          QStringLiteral("Firmware image (exactly 7104 bytes) that an update of this run writes."),
                                          QStringLiteral("FILE"));
    cli.addOption(service);
    cli.addOption(firmwareFile);
    const QString usage = cli.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("kestra-panel"));
    // Parsed before the window system starts, so --help works without a display.
    if (!cli.parse(args)) {
        std::fprintf(stderr, "kestra-panel: %s\n%s", qPrintable(cli.errorText()), qPrintable(usage));
        return 2;
    }
    if (cli.isSet(help)) {
        std::printf("%s", qPrintable(usage));
        return 0;
    }
    if (cli.isSet(version)) {
        std::printf("kestra-panel %s\n", KESTRA_VERSION);
        return 0;
    }

    if (cli.isSet(firmwareFile)) {
        // Checked before anything could reach the device.
        std::string error;
        ByteVector image = firmware::LoadFile(cli.value(firmwareFile).toStdString(), &error);
        if (image.empty()) {
            std::fprintf(stderr, "kestra-panel: %s\n", error.c_str());
            return 2;
        }
        firmware::SetForRun(std::move(image));
    }

    // Qt would abort with a core dump; say what is missing instead.
    if (!args.contains(QStringLiteral("-platform"))) {
        const QString missing = MissingDisplay([](const char* name) { return qEnvironmentVariable(name); });
        if (!missing.isEmpty()) {
            std::fprintf(stderr, "kestra-panel: %s\n", qPrintable(missing));
            return 1;
        }
    }
    QApplication app(argc, argv);
    SetUpAppIdentity();

    std::unique_ptr<sim::KestraSim> simulator;
    if (cli.isSet(demo)) {
        sim::SimOptions options;
        options.keepReceived = false;  // the demo may run for hours
        for (const QString& mic : cli.value(speech).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const int n = mic.trimmed().toInt();
            if (n >= 1 && n <= 6) {
                options.speech |= 1u << (n - 1);
            }
        }
        simulator = std::make_unique<sim::KestraSim>(options);
        const std::string path = simulator->Start();
        if (path.empty()) {
            std::fprintf(stderr, "kestra-panel: could not start the simulated KESTRA\n");
            return 1;
        }
        LComm::SetPortOverride(QString::fromStdString(path));
    }

    TfrmMain window;
    if (simulator) {
        window.setWindowTitle(QStringLiteral("KESTRA Remote Panel - simulated device"));
        window.NameSimulatedDevice();
    } else if (cli.isSet(port)) {
        window.SetPortForRun(cli.value(port));
    }
    if (cli.isSet(service)) {
        window.SetServiceMode(true);
    }
    window.show();
    const int rc = QApplication::exec();
    return rc;
}
