// JSON Merge Patch (RFC 7386) on QJsonObject: applying a patch, and the
// patch that turns one document into another. A null in a patch removes the
// member; members whose values are equal are left out of a diff.
#pragma once

#include <QJsonObject>

namespace mergepatch {

QJsonObject Apply(const QJsonObject& target, const QJsonObject& patch);
// The smallest patch p with Apply(from, p) == to (empty when equal).
QJsonObject Diff(const QJsonObject& from, const QJsonObject& to);

}  // namespace mergepatch
