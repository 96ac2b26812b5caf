// main() for tests that need Qt: one QApplication for the whole run, created
// before any test, so widgets, timers and QSerialPort behave as in the panel.
#include <QApplication>

#include <gmock/gmock.h>

#include <cstdlib>
#include <string>

namespace {
// A private directory for a variable that is not set, so tests never touch
// the user's runtime or settings directories.
void DefaultToTempDir(const char* variable)
{
    if (std::getenv(variable) != nullptr) {
        return;
    }
    std::string dir = "/tmp/kestra-test-XXXXXX";
    if (mkdtemp(dir.data()) != nullptr) {
        setenv(variable, dir.c_str(), 1);
    }
}
}  // namespace

int main(int argc, char** argv)
{
    // CTest lists the tests by running this binary without any environment
    // of ours: without a display it must still start, offscreen.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    DefaultToTempDir("XDG_RUNTIME_DIR");
    DefaultToTempDir("XDG_CONFIG_HOME");
    QApplication app(argc, argv);
    testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
