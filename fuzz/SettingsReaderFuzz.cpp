// Whatever the settings file holds, loading it gives a port the port list
// has (a stored name only when it is a port name) and a language the radio
// group has.
#include "FuzzCheck.h"
#include "PortName.h"
#include "Settings.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return 0;
        }
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    PanelSettings settings;
    SettingsStore store(path);
    store.LoadOrInitialise(settings);
    Require(settings.portNo >= 1 && settings.portNo <= 8 && settings.language <= 1);
    Require(settings.portName.isEmpty() || comm::ParsePortName(settings.portName).Ok());
    return 0;
}
