#include "Colortrackbar.h"

#include <QPainter>
#include <QPolygon>

KnobGeometry ComputeKnobGeometry(int left, int top, int right, int bottom, int thumbLength)
{
    KnobGeometry g{};
    g.left = left + 1;
    g.top = top + 1;
    g.right = right - 1;
    // Half a pixel up, truncated toward zero (not floored) as integer
    // conversion does.
    g.bottom = static_cast<int>(bottom - 1.5);
    g.triangle[0] = QPoint(g.left, g.bottom);
    g.triangle[1] = QPoint(g.right - 1, g.bottom);
    g.triangle[2] = QPoint((g.left + g.right) / 2, bottom - 3);
    if (thumbLength > 17 && thumbLength < 21) {
        g.lineFrom = QPoint(g.left, g.bottom - 3);
        g.lineTo = QPoint(g.left + 18, g.bottom - 3);
    } else {
        g.lineFrom = QPoint(g.left, g.bottom - 2);
        g.lineTo = QPoint(g.left + 13, g.bottom - 2);
    }
    return g;
}

TColorTrackBar::TColorTrackBar(QWidget* parent) : TrhTrackBar(parent)
{
    SetOrientation(Qt::Vertical);
    SetTickMarks(tmBoth);
    // The page step is the line length from the start, so the field and the
    // keys never disagree.
    setPageStep(lineLength_);
    SetPosition((Min() + Max()) / 2);
    SetTickStyle(tsNone);
}

void TColorTrackBar::SetThumbColor(TColor color)
{
    if (color != thumbColor_) {
        thumbColor_ = color;
        update();
    }
}

void TColorTrackBar::SetLineLength(int length)
{
    if (length != lineLength_) {
        lineLength_ = length;
        setPageStep(length);
    }
}

void TColorTrackBar::SetThumbLength(int length)
{
    if (length != thumbLength_) {
        thumbLength_ = length;
        update();
    }
}

QRect TColorTrackBar::ThumbRect() const
{
    const QRect handle = HandleRect();
    if (Orientation() == Qt::Vertical) {
        const int cx = handle.left() + handle.width() / 2;
        return QRect(cx - thumbLength_ / 2, handle.top(), thumbLength_, handle.height());
    }
    const int cy = handle.top() + handle.height() / 2;
    return QRect(handle.left(), cy - thumbLength_ / 2, handle.width(), thumbLength_);
}

void TColorTrackBar::paintEvent(QPaintEvent* event)
{
    TrhTrackBar::paintEvent(event);

    const QRect r = ThumbRect();
    const KnobGeometry g =
        ComputeKnobGeometry(r.left(), r.top(), r.left() + r.width(), r.top() + r.height(), thumbLength_);
    const QColor fill = ToQColor(thumbColor_);

    QPainter p(this);
    if (g.right > g.left && g.bottom > g.top) {
        p.fillRect(QRect(g.left, g.top, g.right - g.left, g.bottom - g.top), fill);
    }
    p.setPen(fill);
    p.setBrush(fill);
    p.drawPolygon(QPolygon({g.triangle[0], g.triangle[1], g.triangle[2]}));
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    if (g.lineTo.x() > g.lineFrom.x()) {
        p.drawLine(g.lineFrom, g.lineTo - QPoint(1, 0));
    }
}
