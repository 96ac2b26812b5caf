#include "ControlTag.h"

#include <QObject>
#include <QVariant>

namespace {
constexpr const char* kTagProperty = "Tag";
}

int Tag(const QObject* control)
{
    if (control == nullptr) {
        return 0;
    }
    const QVariant value = control->property(kTagProperty);
    return value.isValid() ? value.toInt() : 0;
}

void SetTag(QObject* control, int tag)
{
    if (control != nullptr) {
        control->setProperty(kTagProperty, tag);
    }
}
