// Any datagram on the OSC port: refused with a text, or a request the core
// takes as it is (a change its own check passes, a preset 1..3, a query of
// the address asked).
#include "BridgeCore.h"
#include "FuzzCheck.h"
#include "OscWire.h"
#include "StateJson.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto decoded = DecodeOsc(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    auto* d = std::get_if<OscDatagram>(&decoded);
    auto parsed = d ? ParseOscMessage(d->address, d->args) : std::get<QString>(decoded);
    if (auto* e = std::get_if<QString>(&parsed)) {
        Require(!e->isEmpty());
        return 0;
    }
    const OscRequest& r = std::get<OscRequest>(parsed);
    const bool bad = (r.kind == OscRequest::Set && BridgeCore::ValidatePatch(r.patch)) ||
                     ((r.kind == OscRequest::LoadPreset || r.kind == OscRequest::SavePreset) && (r.preset < 1 || r.preset > 3)) ||
                     (r.kind == OscRequest::Query && OscAnswer(r.path, StateToJson(DeviceState{})).address != d->address);
    Require(!bad);
    return 0;
}
