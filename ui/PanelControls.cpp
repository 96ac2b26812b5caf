#include "PanelControls.h"

QObject* PanelControls::FindComponent(const QString& name) const
{
    if (name.isEmpty()) {
        return nullptr;
    }
    for (QObject* c : components_) {
        if (c->objectName() == name) {
            return c;
        }
    }
    return nullptr;
}
