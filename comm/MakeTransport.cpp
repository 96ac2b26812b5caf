#include "MakeTransport.h"

#include "PortName.h"
#include "Rfc2217.h"
#include "SerialTransport.h"
#include "TcpTransport.h"

namespace comm {

std::unique_ptr<Transport> MakeTransport(const QString& portName, OpenFailure* failure)
{
    const PortAddress address = ParsePortName(portName);
    if (!address.Ok()) {
        if (failure != nullptr) {
            *failure = {OpenFailure::Kind::NoSuchPort, address.error};
        }
        return nullptr;
    }
    switch (address.kind) {
    case PortAddress::Kind::Tcp:
        return std::make_unique<TcpTransport>(address.host, address.port);
    case PortAddress::Kind::Rfc2217:
        return std::make_unique<Rfc2217Transport>(address.host, address.port);
    case PortAddress::Kind::Serial:
        break;
    }
    return std::make_unique<SerialTransport>(address.path);
}

}  // namespace comm
