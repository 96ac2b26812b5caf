// Every control carries an integer tag; one handler serves a row of like
// controls and tells them apart by it. Kept as the dynamic property "Tag" so
// that any QObject can carry one; a control without one has tag 0.
#pragma once

class QObject;

int Tag(const QObject* control);
void SetTag(QObject* control, int tag);
