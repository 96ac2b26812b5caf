#include "Panel.h"


#include <QAccessible>
#include <QChildEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

TPanel::TPanel(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::NoFrame);
    setFocusPolicy(Qt::TabFocus);
}

void TPanel::SetBevelInner(TBevel bevel)
{
    if (bevel != inner_) {
        const bool wasPressed = IsPressed(this);
        inner_ = bevel;
        update();
        if (QAccessible::isActive() && !indicator_ && wasPressed != IsPressed(this)) {
            QAccessible::State changed;
            changed.checked = true;
            QAccessibleStateChangeEvent ev(this, changed);
            QAccessible::updateAccessibility(&ev);
        }
    }
}

void TPanel::SetBevelOuter(TBevel bevel)
{
    if (bevel != outer_) {
        outer_ = bevel;
        update();
    }
}

void TPanel::SetColor(TColor color)
{
    if (color != color_) {
        const bool wasLit = IsLit(this);
        color_ = color;
        update();
        if (QAccessible::isActive() && indicator_ && wasLit != IsLit(this)) {
            QAccessibleValueChangeEvent value(this, PanelValueText(this));
            QAccessible::updateAccessibility(&value);
            QAccessibleEvent description(this, QAccessible::DescriptionChanged);
            QAccessible::updateAccessibility(&description);
        }
    }
}

void TPanel::SetCaption(const QString& caption)
{
    if (caption != caption_) {
        caption_ = caption;
        update();
    }
}

void TPanel::Click()
{
    emit clicked();
}

void TPanel::MarkIndicator(TColor darkColor)
{
    indicator_ = true;
    dark_ = darkColor;
    setFocusPolicy(Qt::NoFocus);
}

namespace {

// One pixel of bevel: light on the top and left edges when raised, dark when
// lowered, the other way round on the bottom and right edges.
void DrawBevel(QPainter& p, QRect& r, TBevel bevel, const QPalette& pal)
{
    if (bevel == bvNone) {
        return;
    }
    const QColor topLeft = bevel == bvRaised ? pal.color(QPalette::Light) : pal.color(QPalette::Dark);
    const QColor bottomRight = bevel == bvRaised ? pal.color(QPalette::Dark) : pal.color(QPalette::Light);
    p.setPen(topLeft);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(bottomRight);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    r.adjust(1, 1, -1, -1);
}

} // namespace

void TPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QRect r = rect();
    const QPalette& pal = palette();
    p.fillRect(r, ToQColor(color_, pal.color(QPalette::Button)));
    DrawBevel(p, r, outer_, pal);
    DrawBevel(p, r, inner_, pal);
    if (!caption_.isEmpty()) {
        p.setPen(pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, caption_);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = r.adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

void TPanel::mousePressEvent(QMouseEvent* event)
{
    if (!click_.Press(event)) {
        QFrame::mousePressEvent(event);
    }
}

void TPanel::mouseReleaseEvent(QMouseEvent* event)
{
    bool clicked = false;
    if (!click_.Release(event, rect(), clicked)) {
        QFrame::mouseReleaseEvent(event);
    } else if (clicked) {
        Click();
    }
}

void TPanel::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (!click_.DoubleClick(event)) {
        QFrame::mouseDoubleClickEvent(event);
    }
}

void TPanel::keyPressEvent(QKeyEvent* event)
{
    bool clicked = false;
    if (indicator_ || !ClickTracker::Key(event, clicked)) {
        QFrame::keyPressEvent(event);
    } else if (clicked) {
        Click();
    }
}

void TPanel::childEvent(QChildEvent* event)
{
    // A label on the panel is part of its face: the pointer goes through it.
    if (event->type() == QEvent::ChildPolished || event->type() == QEvent::ChildAdded) {
        if (auto* label = qobject_cast<QLabel*>(event->child())) {
            label->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
    }
    QFrame::childEvent(event);
}

bool IsPressed(const TPanel* panel)
{
    return panel->BevelInner() != bvRaised;
}

void SetPressed(TPanel* panel, bool pressed)
{
    const TBevel bevel = pressed ? bvLowered : bvRaised;
    panel->SetBevelInner(bevel);
    panel->SetBevelOuter(bevel);
}

void MakeIndicator(TPanel* panel, TColor darkColor)
{
    panel->MarkIndicator(darkColor);
    panel->resize(20, 8);
    panel->SetBevelInner(bvLowered);
    panel->SetBevelOuter(bvLowered);
    panel->SetCaption(QString());
    panel->SetColor(darkColor);
}

bool IsLit(const TPanel* indicator)
{
    return indicator->IsIndicator() && indicator->Color() != indicator->DarkColor();
}

QString PanelValueText(const TPanel* panel)
{
    if (!panel->IsIndicator()) {
        return QString();
    }
    return IsLit(panel) ? QStringLiteral("lit") : QStringLiteral("dark");
}
