// What can go wrong talking to a device, as a value with a text for people.
#pragma once

#include <QString>

struct SessionError {
    enum class Kind {
        None,
        PortMissing,       // no such port
        PermissionDenied,  // the port exists but may not be opened
        PortBusy,          // in use, or it refused the line settings
        Silence,           // no reply before the deadline
        Nak,               // the device refused a frame
        DeviceBusy,        // report E0
        DeviceError,       // report E1 n (code = n)
        LinkFailed,        // the port failed while open (code = serial error)
        NotConfirmed,      // the reply was not the confirming report
        VerifyFailed,      // the state read back differs from what was sent
        UpdateFailed,      // the firmware update did not finish
    };
    Kind kind = Kind::None;
    int code = 0;
    QString text;

    explicit operator bool() const { return kind != Kind::None; }
};
