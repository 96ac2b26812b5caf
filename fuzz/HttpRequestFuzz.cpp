// Bytes as `kestractl serve` receives them on one connection: request
// lines, headers and bodies, pipelined. Whatever the bytes, and however the
// network splits them, the same requests are taken, the same bytes are let
// through to Qt HttpServer and the same refusal ends the stream, also when
// it is taken one request at a time (as a peer's backlog holds it back); no
// body over the limit is let through to be read; the Host rule holds for any
// name.
#include "Access.h"
#include "FuzzCheck.h"
#include "HttpFramer.h"

#include <tuple>

namespace {
// The state at the end, the requests taken, the refusal's status (0 for
// none) and the bytes let through.
using Outcome = std::tuple<HttpFramer::State, int, int, qint64>;

Outcome Run(const QByteArray& bytes, qsizetype chunk, bool oneAtATime = false)
{
    HttpLimits limits;
    limits.maxHead = 256;  // small, so that the fuzzer reaches it
    limits.maxBody = 64;
    HttpFramer framer(limits, [&](const HttpHead& head, bool) {
        Require(head.value("Content-Length").toLongLong() <= limits.maxBody);
        const bool known = KnownHost(head.value("Host"), 8080, QHostAddress(QHostAddress::LocalHost), {QStringLiteral("mixer.example")});
        return known ? HeadVerdict{} : HeadVerdict{421, "unknown"};
    });
    int refusal = 0;
    for (qsizetype at = 0; at < bytes.size() && refusal == 0; at += chunk) {
        for (QByteArrayView rest = QByteArrayView(bytes).sliced(at, std::min(chunk, bytes.size() - at)); !rest.isEmpty() && refusal == 0;) {
            if (auto r = framer.Feed(rest, oneAtATime ? framer.Requests() + 1 : std::numeric_limits<int>::max())) {
                refusal = r->status;
            }
            Require(framer.Taken() <= rest.size());
            rest = framer.Taken() == 0 ? QByteArrayView() : rest.sliced(framer.Taken());  // none taken: closed, the rest is dropped
        }
    }
    Require(framer.Passed() <= bytes.size());
    return {framer.state(), framer.Requests(), refusal, framer.Passed()};
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const qsizetype chunk = size > 0 ? 1 + data[0] % 13 : 1;
    const QByteArray bytes = QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)).mid(1);
    const Outcome whole = Run(bytes, std::max<qsizetype>(1, bytes.size()));
    Require(Run(bytes, chunk) == whole);
    Require(Run(bytes, chunk, true) == whole);
    Require((std::get<2>(whole) != 0) == (std::get<0>(whole) == HttpFramer::State::Refused));
    return 0;
}
