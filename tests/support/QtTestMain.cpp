// main() for tests that need Qt: one QApplication for the whole run, created
// before any test, so widgets, timers and QSerialPort behave as in the panel.
#include <QApplication>

#include <gmock/gmock.h>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
