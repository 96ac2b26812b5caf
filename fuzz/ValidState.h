// The state the state-document targets start from: inside every limit, as a
// device reports it (a default one's ducking bytes are 0, below the least
// threshold and hold time).
#pragma once

#include "DeviceState.h"

inline DeviceState ValidState()
{
    DeviceState s;
    s.ducking = {51, 20, 50, 10, 20};
    return s;
}
