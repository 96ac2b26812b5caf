// Any body or WebSocket message sent to the bridge: it is refused with a
// text, or it is a patch the state takes whole, inside the device's limits;
// and a diff between any two documents leads from one to the other.
#include "BridgeServer.h"
#include "FuzzCheck.h"
#include "MergePatch.h"
#include "StateJson.h"
#include "ValidState.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QJsonObject patch;
    const auto error = ParsePatch(body, patch);
    if (error) {
        Require(!error->isEmpty());
        return 0;
    }
    DeviceState state = ValidState();
    Require(!MergeStateJson(patch, state, false));  // accepted by the server, so taken by the state
    // The patch applied to the document reads back as the same state.
    const QJsonObject before = StateToJson(ValidState());
    const QJsonObject after = StateToJson(state);
    DeviceState back = ValidState();
    Require(!MergeStateJson(mergepatch::Apply(before, mergepatch::Diff(before, after)), back, true) && back == state);
    return 0;
}
