#include "DetectedPorts.h"

#include <QSerialPortInfo>

#include <mutex>

namespace comm {

QList<DetectedPort> DetectPorts()
{
    // One listing at a time in the process: libudev, which the listing walks
    // the system's ttys with, keeps unguarded state of its own.
    static std::mutex listing;
    const std::lock_guard lock(listing);
    QList<DetectedPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        ports.append({info.systemLocation(), info.description(), info.manufacturer(), info.serialNumber()});
    }
    return ports;
}

QString DisplayText(const DetectedPort& port)
{
    return port.description.isEmpty() ? port.location
                                      : QStringLiteral("%1 (%2)").arg(port.location, port.description);
}

QString DetailText(const DetectedPort& port)
{
    QStringList lines{port.location};
    if (!port.description.isEmpty()) {
        lines << port.description;
    }
    if (!port.manufacturer.isEmpty()) {
        lines << QStringLiteral("Manufacturer: %1").arg(port.manufacturer);
    }
    if (!port.serialNumber.isEmpty()) {
        lines << QStringLiteral("Serial number: %1").arg(port.serialNumber);
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace comm
