// The transport a port name stands for, apart from the interface, so that
// the transports include their base and only this file includes them all.
#pragma once

#include "Transport.h"

#include <QString>

#include <memory>

namespace comm {

// The transport for a port name (see PortName.h); null with `failure` set
// when the name is not one.
std::unique_ptr<Transport> MakeTransport(const QString& portName, OpenFailure* failure);

}  // namespace comm
