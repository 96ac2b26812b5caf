#include "PanelAccessible.h"

#include "Panel.h"

namespace {

QAccessibleInterface* PanelFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("TPanel") && object != nullptr && object->isWidgetType()) {
        return new TPanelAccessible(static_cast<TPanel*>(object));
    }
    return nullptr;
}

} // namespace

TPanelAccessible::TPanelAccessible(TPanel* panel)
    : QAccessibleWidget(panel, panel->IsIndicator() ? QAccessible::Indicator : QAccessible::Button)
{
}

TPanel* TPanelAccessible::Panel() const
{
    return static_cast<TPanel*>(widget());
}

QAccessible::Role TPanelAccessible::role() const
{
    // Read each time: MakeIndicator may run after the interface was made.
    return Panel()->IsIndicator() ? QAccessible::Indicator : QAccessible::Button;
}

QAccessible::State TPanelAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    if (!Panel()->IsIndicator()) {
        s.checkable = true;
        s.checked = IsPressed(Panel());
    }
    return s;
}

QString TPanelAccessible::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name: {
        const QString name = widget()->accessibleName();
        return name.isEmpty() ? Panel()->Caption() : name;
    }
    case QAccessible::Value:
        return PanelValueText(Panel());
    case QAccessible::Description:
        // AT-SPI passes no text value on, but it does pass the description.
        if (Panel()->IsIndicator() && widget()->accessibleDescription().isEmpty()) {
            return PanelValueText(Panel());
        }
        return QAccessibleWidget::text(t);
    default:
        return QAccessibleWidget::text(t);
    }
}

QStringList TPanelAccessible::actionNames() const
{
    QStringList names;
    if (!Panel()->IsIndicator() && widget()->isEnabled()) {
        names << pressAction() << toggleAction();
    }
    return names + QAccessibleWidget::actionNames();
}

void TPanelAccessible::doAction(const QString& actionName)
{
    if (!widget()->isEnabled()) {
        return;
    }
    if (!Panel()->IsIndicator() && (actionName == pressAction() || actionName == toggleAction())) {
        // The same click a mouse or the Space key gives: the handler decides.
        Panel()->Click();
        return;
    }
    QAccessibleWidget::doAction(actionName);
}

QStringList TPanelAccessible::keyBindingsForAction(const QString& actionName) const
{
    if (!Panel()->IsIndicator() && (actionName == pressAction() || actionName == toggleAction())) {
        return {QStringLiteral("Space")};
    }
    return QAccessibleWidget::keyBindingsForAction(actionName);
}

void InstallPanelAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(&PanelFactory);
        return true;
    }();
    (void)installed;
}
