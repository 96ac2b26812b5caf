// Any datagram on the OSC port: refused with a text, or a request whose
// change passes the core's own check and keeps every item in its limits.
#include "BridgeCore.h"
#include "OscWire.h"
#include "StateJson.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto decoded = DecodeOsc(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (auto* e = std::get_if<QString>(&decoded)) {
        if (e->isEmpty()) {
            std::abort();
        }
        return 0;
    }
    const OscDatagram& d = std::get<OscDatagram>(decoded);
    auto parsed = ParseOscMessage(d.address, d.args);
    if (auto* e = std::get_if<QString>(&parsed)) {
        if (e->isEmpty()) {
            std::abort();
        }
        return 0;
    }
    const OscRequest& r = std::get<OscRequest>(parsed);
    if (r.kind == OscRequest::Set && BridgeCore::validatePatch(r.patch)) {
        std::abort();
    }
    if ((r.kind == OscRequest::LoadPreset || r.kind == OscRequest::SavePreset) && (r.preset < 1 || r.preset > 3)) {
        std::abort();
    }
    if (r.kind == OscRequest::Query && OscAnswer(r.path, StateToJson(DeviceState{})).address != d.address) {
        std::abort();
    }
    return 0;
}
