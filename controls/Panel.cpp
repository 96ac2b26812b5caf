#include "Panel.h"

#include <QChildEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

TPanel::TPanel(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::NoFrame);
}

void TPanel::SetBevelInner(TBevel bevel)
{
    if (bevel != inner_) {
        inner_ = bevel;
        update();
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
        color_ = color;
        update();
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
}

void TPanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        pressing_ = true;
        event->accept();
        return;
    }
    QFrame::mousePressEvent(event);
}

void TPanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && pressing_) {
        pressing_ = false;
        event->accept();
        if (rect().contains(event->position().toPoint())) {
            Click();
        }
        return;
    }
    QFrame::mouseReleaseEvent(event);
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

void MakeIndicator(TPanel* panel, TColor color)
{
    panel->resize(20, 8);
    panel->SetBevelInner(bvLowered);
    panel->SetBevelOuter(bvLowered);
    panel->SetCaption(QString());
    panel->SetColor(color);
}
