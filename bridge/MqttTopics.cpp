#include "MqttTopics.h"

#include "BridgeCore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace {
void Collect(const QString& path, const QJsonValue& v, std::vector<MqttLeaf>& out)
{
    if (v.isObject()) {
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            Collect(path.isEmpty() ? it.key() : path + QLatin1Char('/') + it.key(), it.value(), out);
        }
        return;
    }
    if (v.isString()) {
        out.push_back({path, v.toString().toUtf8()});
        return;
    }
    const QByteArray text = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    out.push_back({path, text.mid(1, text.size() - 2)});
}

std::variant<QJsonValue, QString> ValueOf(const QByteArray& payload)
{
    // A bare word (cd, preset1) is a string; anything else must be one JSON value.
    static const QRegularExpression word(QStringLiteral("^[A-Za-z][A-Za-z0-9_]*$"));
    const QString text = QString::fromUtf8(payload).trimmed();
    if (word.match(text).hasMatch() && text != QLatin1String("true") && text != QLatin1String("false") &&
        text != QLatin1String("null")) {
        return QJsonValue(text);
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson("[" + payload + "]", &error);
    if (error.error != QJsonParseError::NoError || doc.array().size() != 1) {
        return QStringLiteral("not one JSON value");
    }
    return doc.array().first();
}
}  // namespace

std::vector<MqttLeaf> MqttLeaves(const QJsonObject& document)
{
    QJsonObject state = document;
    state.remove(QStringLiteral("format"));
    state.remove(QStringLiteral("version"));
    std::vector<MqttLeaf> out;
    Collect(QString(), state, out);
    return out;
}

std::variant<QJsonObject, QString> ParseMqttSet(const QString& path, const QByteArray& payload)
{
    const QString where = path.isEmpty() ? QStringLiteral("set") : QStringLiteral("set/") + path;
    if (payload.size() > kMaxMqttPayload) {
        return where + QStringLiteral(": payload over 64 KiB");
    }
    QJsonObject patch;
    if (path.isEmpty()) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(payload, &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject()) {
            return where + QStringLiteral(": not a JSON object (a merge patch of the state document)");
        }
        patch = doc.object();
    } else {
        const QStringList keys = path.split(QLatin1Char('/'));
        if (keys.size() > 3 || keys.contains(QString())) {
            return where + QStringLiteral(": unknown key");
        }
        auto value = ValueOf(payload);
        if (auto* e = std::get_if<QString>(&value)) {
            return where + QStringLiteral(": ") + *e;
        }
        QJsonValue inner = std::get<QJsonValue>(value);
        for (qsizetype i = keys.size() - 1; i > 0; --i) {
            inner = QJsonObject{{keys[i], inner}};
        }
        patch = QJsonObject{{keys[0], inner}};
    }
    if (auto e = BridgeCore::ValidatePatch(patch)) {
        return where + QStringLiteral(": ") + *e;
    }
    return patch;
}

std::variant<int, QString> ParseMqttPreset(const QByteArray& payload)
{
    const QByteArray text = payload.trimmed();
    if (text != "1" && text != "2" && text != "3") {
        return QStringLiteral("preset \"%1\" is not allowed (1, 2, 3)").arg(QString::fromUtf8(text.left(20)));
    }
    return text.toInt();
}
