// Any message on PREFIX/set or below: the first line is the topic below
// PREFIX/set, the rest the payload. Refused with a text, or a merge patch the
// core takes whose items all stay in the device's limits.
#include "BridgeCore.h"
#include "MqttTopics.h"
#include "StateJson.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype newline = bytes.indexOf('\n');
    const QString path = newline < 0 ? QString() : QString::fromUtf8(bytes.left(newline));
    auto parsed = ParseMqttSet(path, newline < 0 ? bytes : bytes.mid(newline + 1));
    if (auto* e = std::get_if<QString>(&parsed)) {
        if (e->isEmpty()) {
            std::abort();
        }
        return 0;
    }
    DeviceState state;
    if (MergeStateJson(std::get<QJsonObject>(parsed), state, false)) {
        std::abort();  // a patch handed on must be one the state takes
    }
    for (std::uint8_t g : state.gain) {
        if (g > 79) {
            std::abort();
        }
    }
    return 0;
}
