#include "HttpFramer.h"

#include <algorithm>

QByteArray HttpHead::value(const QByteArray& name) const
{
    QByteArray out;
    for (const auto& [key, v] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            out += (out.isEmpty() ? QByteArray() : QByteArrayLiteral(", ")) + v;
        }
    }
    return out;
}

bool HttpHead::hasToken(const QByteArray& name, const QByteArray& token) const
{
    for (const QByteArray& t : value(name).split(',')) {
        if (t.trimmed().compare(token, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

std::optional<HttpHead> ParseHttpHead(const QByteArray& head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> first = lines.front().trimmed().split(' ');
    if (first.size() != 3 || first[0].isEmpty() || first[1].isEmpty() || !first[2].startsWith("HTTP/1.")) {
        return std::nullopt;
    }
    HttpHead h{first[0], first[1], first[2], {}};
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || line.left(colon).contains(' ') || line.left(colon).contains('\t')) {
            return std::nullopt;  // no header folding, no space before the colon (request smuggling)
        }
        h.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
    }
    return h;
}

std::optional<HttpFramer::Refusal> HttpFramer::Feed(QByteArrayView bytes, int upTo)
{
    qsizetype pos = 0;
    taken_ = 0;
    while (pos < bytes.size() && (state_ == State::Body || (state_ == State::Head && requests_ < upTo))) {
        if (state_ == State::Body) {
            const qint64 take = std::min<qint64>(bodyLeft_, bytes.size() - pos);
            pos += take;
            passed_ += take;
            bodyLeft_ -= take;
            if (bodyLeft_ == 0) {
                Complete();
            }
            continue;
        }
        const qsizetype before = head_.size();
        head_.append(bytes.sliced(pos, std::min<qsizetype>(bytes.size() - pos, limits_.maxHead + 4 - before)));
        // The blank line ends the head; bare line feeds are taken as Qt HttpServer takes them.
        const qsizetype from = std::max<qsizetype>(0, before - 3);
        qsizetype end = head_.indexOf("\n\r\n", from);
        const qsizetype lf = head_.indexOf("\n\n", from);
        const qsizetype blank = end < 0 || (lf >= 0 && lf < end) ? 2 : 3;
        end = blank == 2 ? lf : end;
        // Over the limit once no blank line can begin within it any more.
        if (end > limits_.maxHead || (end < 0 && head_.size() > limits_.maxHead + 3)) {
            state_ = State::Refused;
            return Refusal{431, "request head over " + QByteArray::number(limits_.maxHead) + " bytes"};
        }
        if (end < 0) {
            taken_ = bytes.size();
            return std::nullopt;
        }
        pos += end + blank - before;
        head_.truncate(end);
        if (auto refused = TakeHead()) {
            state_ = State::Refused;
            taken_ = bytes.size();
            return refused;
        }
        passed_ += end + blank;
    }
    if (state_ == State::Upgraded) {
        passed_ += bytes.size() - pos;  // WebSocket frames: Qt WebSockets' own limits apply
        pos = bytes.size();
    }
    taken_ = pos;
    return std::nullopt;
}

void HttpFramer::Complete()
{
    ++requests_;
    state_ = last_ ? State::Closed : State::Head;
}

bool IsWebSocketHandshake(const HttpHead& h)
{
    return h.method == "GET" && h.hasToken("Connection", "upgrade") && h.hasToken("Upgrade", "websocket") &&
           h.value("Sec-WebSocket-Version") == "13" &&
           QByteArray::fromBase64(h.value("Sec-WebSocket-Key"), QByteArray::AbortOnBase64DecodingErrors).size() == 16;
}

std::optional<HttpFramer::Refusal> HttpFramer::TakeHead()
{
    const std::optional<HttpHead> h = ParseHttpHead(head_);
    head_.clear();
    if (!h) {
        return Refusal{400, "not an HTTP/1.x request head"};
    }
    if (!h->value("Transfer-Encoding").isEmpty()) {
        return Refusal{411, "send the body with a Content-Length"};
    }
    // Digits only: any other reading than Qt HttpServer's would split the stream elsewhere.
    const QByteArray length = h->value("Content-Length");
    const bool digits = std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || length.size() > 18) {
        return Refusal{400, "Content-Length: not one number"};
    }
    const qint64 declared = length.isEmpty() ? 0 : length.toLongLong();
    if (declared > limits_.maxBody) {
        return Refusal{413, "body: " + length + " bytes, more than the " + QByteArray::number(limits_.maxBody) + " allowed"};
    }
    // Qt HttpServer takes a head as an upgrade on less than a valid
    // handshake, and then drops the connection without an answer.
    const bool upgrade = IsWebSocketHandshake(*h);
    if (!upgrade && (!h->value("Upgrade").isEmpty() || h->value("Connection").toLower().contains("upgrade"))) {
        return Refusal{400, "not a WebSocket handshake: it takes GET, Connection: Upgrade, Upgrade: websocket, "
                            "Sec-WebSocket-Version: 13 and a Sec-WebSocket-Key"};
    }
    const HeadVerdict v = check_(*h, upgrade);
    if (v.status != 0) {
        return Refusal{v.status, v.text};
    }
    if (upgrade) {
        state_ = State::Upgraded;  // the WebSocket's own limits apply from here
        return std::nullopt;
    }
    last_ = h->hasToken("Connection", "close") || (h->version == "HTTP/1.0" && !h->hasToken("Connection", "keep-alive"));
    bodyLeft_ = declared;
    state_ = State::Body;
    if (bodyLeft_ == 0) {
        Complete();
    }
    return std::nullopt;
}
