#include "Access.h"

#include <QRandomGenerator>
#include <QUrlQuery>

namespace {
// Compares in time independent of where the texts differ, so the token
// cannot be guessed a character at a time from response times.
bool SameToken(const QString& a, const QString& b)
{
    const QByteArray x = a.toUtf8();
    const QByteArray y = b.toUtf8();
    unsigned diff = static_cast<unsigned>(x.size() ^ y.size());
    for (qsizetype i = 0; i < x.size(); ++i) {
        diff |= static_cast<unsigned>(x[i] ^ y[i % std::max<qsizetype>(1, y.size())]);
    }
    return diff == 0 && !y.isEmpty();
}

bool HasToken(const AccessRules& rules, const QString& presented)
{
    return rules.token.isEmpty() || SameToken(presented, rules.token);
}
}  // namespace

QString PresentedToken(const QByteArray& authorizationHeader, const QUrl& url)
{
    const QByteArray bearer("Bearer ");
    const QByteArray header = authorizationHeader.trimmed();
    if (header.size() > bearer.size() && header.left(bearer.size()).compare(bearer, Qt::CaseInsensitive) == 0) {
        return QString::fromUtf8(header.mid(bearer.size()).trimmed());
    }
    return QUrlQuery(url).queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded);
}

AccessDecision MayRead(const AccessRules& rules, const QString& presented)
{
    if (rules.privateRead && !HasToken(rules, presented)) {
        return {false, 401, QStringLiteral("a token is needed (Authorization: Bearer TOKEN, or ?token=TOKEN)")};
    }
    return {true, 200, QString()};
}

AccessDecision MayChange(const AccessRules& rules, const QString& presented)
{
    if (!HasToken(rules, presented)) {
        return {false, 401, QStringLiteral("a token is needed to change anything (Authorization: Bearer TOKEN, or ?token=TOKEN)")};
    }
    if (rules.readOnly) {
        return {false, 403, QStringLiteral("read-only: this server refuses every change")};
    }
    return {true, 200, QString()};
}

bool SameOrigin(const QByteArray& origin, const QByteArray& host)
{
    if (origin.isEmpty()) {
        return true;
    }
    const QUrl url(QString::fromUtf8(origin));
    return !host.isEmpty() && url.authority().compare(QString::fromUtf8(host), Qt::CaseInsensitive) == 0;
}

bool IsLoopback(const QHostAddress& address)
{
    return address.isLoopback();
}

QString NewToken()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    const QByteArray bytes(reinterpret_cast<const char*>(words), sizeof words);
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}
