#include "OscWire.h"

#include <lo/lo.h>

#include <memory>

namespace {
struct MessageDeleter {
    void operator()(lo_message m) const { lo_message_free(m); }
};
using Message = std::unique_ptr<std::remove_pointer_t<lo_message>, MessageDeleter>;
}  // namespace

std::variant<OscDatagram, QString> DecodeOsc(const QByteArray& bytes)
{
    if (bytes.startsWith("#bundle")) {
        return QStringLiteral("OSC bundles are not accepted; send single messages");
    }
    QByteArray data = bytes;  // liblo reads (and byte-swaps) a buffer of its own
    const char* path = lo_get_path(data.data(), data.size());
    int result = 0;
    Message m(path != nullptr ? lo_message_deserialise(data.data(), static_cast<size_t>(data.size()), &result) : nullptr);
    if (!m) {
        return QStringLiteral("not an OSC message (%1 bytes)").arg(bytes.size());
    }
    OscDatagram d{QString::fromUtf8(path), {}};
    const char* types = lo_message_get_types(m.get());
    lo_arg** argv = lo_message_get_argv(m.get());
    for (int i = 0; i < lo_message_get_argc(m.get()); ++i) {
        const char t = types[i];
        OscArg a{t, 0.0, {}};
        switch (t) {
        case LO_INT32: case LO_INT64: case LO_FLOAT: case LO_DOUBLE:
            a.number = static_cast<double>(lo_hires_val(static_cast<lo_type>(t), argv[i]));
            break;
        case LO_STRING: case LO_SYMBOL:
            a.text = QString::fromUtf8(&argv[i]->s);
            break;
        default:
            break;  // T, F, N carry no value; the rest is refused by type
        }
        d.args.push_back(std::move(a));
    }
    return d;
}

QByteArray EncodeOsc(const OscMessage& message)
{
    Message m(lo_message_new());
    const OscArg& a = message.arg;
    switch (a.type) {
    case 'i': lo_message_add_int32(m.get(), static_cast<int32_t>(a.number)); break;
    case 'f': lo_message_add_float(m.get(), static_cast<float>(a.number)); break;
    case 's': lo_message_add_string(m.get(), a.text.toUtf8().constData()); break;
    default: lo_message_add_nil(m.get()); break;
    }
    const QByteArray path = message.address.toUtf8();
    QByteArray out(static_cast<qsizetype>(lo_message_length(m.get(), path.constData())), '\0');
    size_t size = static_cast<size_t>(out.size());
    lo_message_serialise(m.get(), path.constData(), out.data(), &size);
    out.resize(static_cast<qsizetype>(size));
    return out;
}
