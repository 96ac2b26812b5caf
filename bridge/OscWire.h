// OSC messages to and from datagram bytes, through liblo's codec. The UDP
// side is Qt's (OscBridge), so that the port binds to the address asked for.
#pragma once

#include "OscAddress.h"

#include <QByteArray>

#include <optional>

struct OscDatagram {
    QString address;
    std::vector<OscArg> args;
};

// A message, or an error text; bundles are not taken (one message a datagram).
std::variant<OscDatagram, QString> DecodeOsc(const QByteArray& bytes);

QByteArray EncodeOsc(const OscMessage& message);
