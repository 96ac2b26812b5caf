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
        Acknowledged,      // done, but no report showed the value: not an error
        Differs,           // a report shows the device holding another value
        Incomplete,        // a full read ended with items the device never reported
        VerifyFailed,      // the state read back differs from what was sent
        UpdateFailed,      // the firmware update did not finish
    };
    Kind kind = Kind::None;
    int code = 0;
    QString text;

    // True for a failure; an acknowledged change is done.
    explicit operator bool() const { return kind != Kind::None && kind != Kind::Acknowledged; }
};
