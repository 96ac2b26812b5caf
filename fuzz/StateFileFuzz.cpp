// Any file handed to `restore`: it is refused with a text and changes
// nothing, or the state it gives writes back to a file that reads as the
// same state (which limits reading enforces: the state file tests).
#include "FuzzCheck.h"
#include "StateJson.h"
#include "ValidState.h"

#include <QJsonDocument>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    DeviceState state = ValidState();
    const auto error = MergeStateFile(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), state);
    if (error) {
        Require(!error->isEmpty() && state == ValidState());
        return 0;
    }
    DeviceState back = ValidState();
    Require(!MergeStateFile(QJsonDocument(StateToJson(state)).toJson(), back) && back == state);
    return 0;
}
