#include "Access.h"

#include <QDir>
#include <QFile>
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

bool TokenMatches(const QString& presented, const QString& token)
{
    return SameToken(presented, token);
}

QString PresentedToken(const QByteArray& authorizationHeader, const QUrl& url)
{
    const QByteArray bearer("Bearer ");
    const QByteArray header = authorizationHeader.trimmed();
    if (header.size() > bearer.size() && header.left(bearer.size()).compare(bearer, Qt::CaseInsensitive) == 0) {
        return QString::fromUtf8(header.mid(bearer.size()).trimmed());
    }
    return QUrlQuery(url).queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded);
}

bool WrongToken(const AccessRules& rules, const QString& presented)
{
    return !presented.isEmpty() && !HasToken(rules, presented);
}

// A wrong token is told apart from none: the user has one, but not this server's.
AccessDecision MayRead(const AccessRules& rules, const QString& presented)
{
    if (rules.privateRead && WrongToken(rules, presented)) {
        return {false, 401, QStringLiteral("wrong token: not the one this server takes")};
    }
    if (rules.privateRead && !HasToken(rules, presented)) {
        return {false, 401, QStringLiteral("a token is needed (Authorization: Bearer TOKEN, or ?token=TOKEN)")};
    }
    return {true, 200, QString()};
}

AccessDecision MayChange(const AccessRules& rules, const QString& presented)
{
    if (WrongToken(rules, presented)) {
        return {false, 401, QStringLiteral("wrong token: not the one this server takes")};
    }
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

bool KnownHost(const QByteArray& host, quint16 port, const QHostAddress& arrivedAt, const QStringList& names)
{
    const QString text = QString::fromLatin1(host).trimmed().toLower();
    QString name = text;
    quint16 given = 80;
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0 && text.indexOf(QLatin1Char(']'), colon) < 0) {
        bool ok = false;
        given = text.mid(colon + 1).toUShort(&ok);
        if (!ok) {
            return false;
        }
        name = text.left(colon);
    }
    if (name.endsWith(QLatin1Char('.'))) {
        name.chop(1);
    }
    if (name.isEmpty()) {
        return false;
    }
    for (const QString& n : names) {
        const QString allowed = n.toLower();
        if (allowed == text || (allowed == name && given == port)) {
            return true;
        }
    }
    if (given != port) {
        return false;
    }
    const bool bracketed = name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']'));
    const QHostAddress literal(bracketed ? name.mid(1, name.size() - 2) : name);
    if (!literal.isNull()) {
        // A literal is no rebinding: the page was loaded from this very address.
        bool ok4 = false;
        const quint32 v4 = arrivedAt.toIPv4Address(&ok4);
        return literal.isEqual(arrivedAt, QHostAddress::TolerantConversion) ||
               (ok4 && literal == QHostAddress(v4)) || (literal.isLoopback() && arrivedAt.isLoopback());
    }
    return name == QLatin1String("localhost") && arrivedAt.isLoopback();
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

QString KeptToken(const QString& directory, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error != nullptr) {
            *error = why;
        }
        return QString();
    };
    if (!QDir().mkpath(directory)) {
        return fail(QStringLiteral("%1: cannot create the directory").arg(directory));
    }
    QFile::setPermissions(directory, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile file(QDir(directory).filePath(QStringLiteral("token")));
    if (file.open(QIODevice::ReadOnly)) {
        const QString token = QString::fromUtf8(file.readLine()).trimmed();
        if (token.isEmpty()) {
            return fail(QStringLiteral("%1: empty; remove it to have a new token made").arg(file.fileName()));
        }
        return token;
    }
    // Created with its final permissions, never readable by others in between.
    const QString token = NewToken();
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(token.toUtf8() + '\n') < 0 || !file.flush()) {
        return fail(QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
    }
    return token;
}
