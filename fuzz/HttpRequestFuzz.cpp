// Bytes as `kestractl serve` receives them on one connection: request
// lines, headers and bodies, pipelined. Whatever the bytes, and however the
// network splits them, the same requests are taken and the same refusal
// ends the stream; no body over the limit is let through to be read; the
// Host rule holds for any name.
#include "Access.h"
#include "FuzzCheck.h"
#include "HttpGuard.h"

#include <vector>

namespace {
struct Outcome {
    HttpFramer::State state;
    int requests;
    int refusal;
    bool operator==(const Outcome&) const = default;
};

Outcome Run(const QByteArray& bytes, qsizetype chunk)
{
    HttpLimits limits;
    limits.maxHead = 256;  // small, so that the fuzzer reaches it
    limits.maxBody = 64;
    HttpFramer framer(limits, [&](const HttpHead& head, bool) {
        const QByteArray length = head.value("Content-Length");
        Require(length.toLongLong() <= limits.maxBody);
        if (!KnownHost(head.value("Host"), 8080, QHostAddress(QHostAddress::LocalHost), {QStringLiteral("mixer.example")})) {
            return HeadVerdict{421, "unknown"};
        }
        return HeadVerdict{};
    });
    int refusal = 0;
    for (qsizetype at = 0; at < bytes.size() && refusal == 0; at += chunk) {
        if (auto r = framer.Feed(QByteArrayView(bytes).sliced(at, std::min(chunk, bytes.size() - at)))) {
            refusal = r->status;
        }
    }
    return {framer.state(), framer.Requests(), refusal};
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const qsizetype chunk = 1 + data[0] % 13;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const Outcome whole = Run(bytes, std::max<qsizetype>(1, bytes.size()));
    Require(Run(bytes, chunk) == whole);
    Require((whole.refusal != 0) == (whole.state == HttpFramer::State::Refused));
    return 0;
}
