#include "MergePatch.h"

namespace mergepatch {

QJsonObject Apply(const QJsonObject& target, const QJsonObject& patch)
{
    QJsonObject out = target;
    for (auto it = patch.begin(); it != patch.end(); ++it) {
        if (it.value().isNull()) {
            out.remove(it.key());
        } else if (it.value().isObject()) {
            out.insert(it.key(), Apply(out.value(it.key()).toObject(), it.value().toObject()));
        } else {
            out.insert(it.key(), it.value());
        }
    }
    return out;
}

QJsonObject Diff(const QJsonObject& from, const QJsonObject& to)
{
    QJsonObject patch;
    for (auto it = from.begin(); it != from.end(); ++it) {
        if (!to.contains(it.key())) {
            patch.insert(it.key(), QJsonValue::Null);
        }
    }
    for (auto it = to.begin(); it != to.end(); ++it) {
        const QJsonValue old = from.value(it.key());
        if (old == it.value() && from.contains(it.key())) {
            continue;
        }
        if (it.value().isObject() && old.isObject()) {
            const QJsonObject inner = Diff(old.toObject(), it.value().toObject());
            if (!inner.isEmpty()) {
                patch.insert(it.key(), inner);
            }
        } else {
            patch.insert(it.key(), it.value());
        }
    }
    return patch;
}

}  // namespace mergepatch
