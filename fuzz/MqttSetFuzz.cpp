// Any message on PREFIX/set or below (the first line: the topic below
// PREFIX/set, the rest: the payload): refused with a text, or a merge patch
// the core's own check passes.
#include "BridgeCore.h"
#include "FuzzCheck.h"
#include "MqttTopics.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype newline = bytes.indexOf('\n');
    const QString path = newline < 0 ? QString() : QString::fromUtf8(bytes.left(newline));
    auto parsed = ParseMqttSet(path, newline < 0 ? bytes : bytes.mid(newline + 1));
    auto* e = std::get_if<QString>(&parsed);
    Require(e ? !e->isEmpty() : !BridgeCore::ValidatePatch(std::get<QJsonObject>(parsed)).has_value());
    return 0;
}
