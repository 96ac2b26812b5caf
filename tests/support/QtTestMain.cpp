// main() for tests that need Qt: one QApplication for the whole run, created
// before any test, so widgets, timers and QSerialPort behave as in the panel.
#include <QApplication>
#include <QDir>

#include <gmock/gmock.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#if defined(Q_OS_WIN)
#include <windows.h>
#endif

int main(int argc, char** argv)
{
    // CTest lists the tests by running this binary without any environment
    // of ours: without a display it must still start, offscreen, and never
    // touch the user's runtime, settings or state directories (kestractl's
    // demo device keeps its state in the last).
    // The directories made here go again at the end.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::vector<std::string> made;
    for (const char* variable : {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_STATE_HOME"}) {
        std::string dir = "/tmp/kestra-test-XXXXXX";
        if (std::getenv(variable) == nullptr && mkdtemp(dir.data()) != nullptr) {
            setenv(variable, dir.c_str(), 1);
            made.push_back(dir);
        }
    }
    int status = 0;
    {
        QApplication app(argc, argv);
        testing::InitGoogleMock(&argc, argv);
        status = RUN_ALL_TESTS();
#if defined(Q_OS_WIN)
        // Under Wine, after several live-stream cases, the process's exit
        // does not return (a library's detach waits); everything is
        // reported by now, so the process ends without detaching them.
        for (const std::string& dir : made) {
            QDir(QString::fromStdString(dir)).removeRecursively();
        }
        std::fflush(nullptr);
        ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(status));
#endif
    }
    for (const std::string& dir : made) {
        QDir(QString::fromStdString(dir)).removeRecursively();
    }
    return status;
}
