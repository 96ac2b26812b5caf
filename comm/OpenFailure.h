// Why a port would not open: a kind that a caller can act on (a missing
// device is not a busy one), and the words for the user.
#pragma once

#include <QString>

namespace comm {

struct OpenFailure {
    enum class Kind {
        None,
        NoSuchPort,    // no device file by that name (or no name at all)
        NoPermission,  // the device exists, but this user may not use it
        InUse,         // another program holds it
        LineRefused,   // it opened, but refused the line settings
        Other,         // anything else (a network port that does not answer): the text says what
    };
    Kind kind = Kind::None;
    QString text;
};

}  // namespace comm
