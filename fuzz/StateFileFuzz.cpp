// Any file handed to `restore`: it is refused with a text and changes
// nothing, or every item is inside the device's limits and the state writes
// back to the same file contents.
#include "FuzzCheck.h"
#include "StateJson.h"

#include <QJsonDocument>

namespace {
DeviceState Base()
{
    DeviceState s;
    s.ducking = {51, 20, 50, 10, 20};
    return s;
}

bool InLimits(const DeviceState& s)
{
    for (std::uint8_t g : s.gain) {
        if (g > 79) {
            return false;
        }
    }
    return s.lineSource <= 4 && s.switchOn <= 3 && s.ducking[0] >= 2 && s.ducking[0] <= 127 && s.ducking[1] <= 79 &&
           s.ducking[2] >= 1 && s.ducking[2] <= 100 && s.ducking[3] <= 63 && s.ducking[4] <= 63;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    DeviceState state = Base();
    const auto error = MergeStateFile(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), state);
    if (error) {
        Require(!error->isEmpty() && state == Base());
        return 0;
    }
    Require(InLimits(state));
    DeviceState back = Base();
    Require(!MergeStateFile(QJsonDocument(StateToJson(state)).toJson(), back) && back == state);
    return 0;
}
