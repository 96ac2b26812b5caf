// What assistive technology (AT-SPI, UI Automation) is told about a TPanel.
// Painted bevels and colours mean nothing to a screen reader, so the state is
// reported explicitly: a latching panel is a checkable button whose checked
// state is its pressed state, and an indicator is a lamp whose value is "lit"
// or "dark" (also given as its description, which AT-SPI passes on).
#pragma once

#include <QAccessibleWidget>
#include <QString>

class TPanel;

class TPanelAccessible : public QAccessibleWidget {
public:
    explicit TPanelAccessible(TPanel* panel);

    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& actionName) const override;

private:
    TPanel* Panel() const;
};

// Registers the interface with Qt's accessibility layer; idempotent. The
// window that shows panels calls it before it makes them, so that a panel
// itself knows nothing of how it is described.
void InstallPanelAccessibility();
