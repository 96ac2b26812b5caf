// The serial ports the system reports (USB adapters, built-in ports), for
// offering them by name. Pseudo-terminals are never among them: those are typed.
#pragma once

#include <QList>
#include <QString>

namespace comm {

struct DetectedPort {
    QString location;  // what to open, e.g. /dev/ttyUSB0 or COM5
    QString description;
    QString manufacturer;
    QString serialNumber;
    bool operator==(const DetectedPort&) const = default;
};

QList<DetectedPort> DetectPorts();

// "/dev/ttyUSB0 (FT232R USB UART)": what a list shows for the port.
QString DisplayText(const DetectedPort& port);
// Description, manufacturer and serial number, one per line (those known).
QString DetailText(const DetectedPort& port);

}  // namespace comm
