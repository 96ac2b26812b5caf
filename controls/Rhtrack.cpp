#include "Rhtrack.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

TrhTrackBar::TrhTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    // A trackbar takes the focus when clicked or turned with the wheel: the
    // handlers send only while their fader has it.
    setFocusPolicy(Qt::WheelFocus);
    setRange(0, 10);
    setSingleStep(1);
    setPageStep(2);
    ApplyTicks();
}

void TrhTrackBar::wheelEvent(QWheelEvent* event)
{
    // A position the handlers would not send must not be shown either: the
    // wheel moves the thumb only once the fader holds the focus (it may not
    // get it, in a window that is not active).
    if (!hasFocus()) {
        activateWindow();
        setFocus(Qt::MouseFocusReason);
    }
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QSlider::wheelEvent(event);
}

void TrhTrackBar::SetOrientation(Qt::Orientation o)
{
    setOrientation(o);
    // Minimum at the top, and the arrow keys move the thumb the way they point.
    const bool vertical = o == Qt::Vertical;
    setInvertedAppearance(vertical);
    setInvertedControls(vertical);
}

void TrhTrackBar::SetTickMarks(TTickMark marks)
{
    tickMarks_ = marks;
    ApplyTicks();
}

void TrhTrackBar::SetTickStyle(TTickStyle style)
{
    tickStyle_ = style;
    ApplyTicks();
}

void TrhTrackBar::ApplyTicks()
{
    if (tickStyle_ == tsNone) {
        setTickPosition(QSlider::NoTicks);
        return;
    }
    switch (tickMarks_) {
    case tmBoth: setTickPosition(QSlider::TicksBothSides); break;
    case tmTopLeft: setTickPosition(QSlider::TicksAbove); break;
    case tmBottomRight: setTickPosition(QSlider::TicksBelow); break;
    }
}

void TrhTrackBar::SetEnableRange(bool enable)
{
    if (enable != enableRange_) {
        enableRange_ = enable;
        update();
    }
}

void TrhTrackBar::SetSelStart(int position)
{
    if (position != selStart_) {
        selStart_ = position;
        if (enableRange_) {
            update();
        }
    }
}

void TrhTrackBar::SetSelEnd(int position)
{
    if (position != selEnd_) {
        selEnd_ = position;
        if (enableRange_) {
            update();
        }
    }
}

QRect TrhTrackBar::GrooveRect() const
{
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    return style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
}

QRect TrhTrackBar::HandleRect() const
{
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    return style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
}

int TrhTrackBar::PixelOfValue(int v) const
{
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect handle = HandleRect();
    const QRect groove = GrooveRect();
    const bool horizontal = orientation() == Qt::Horizontal;
    const int handleLen = horizontal ? handle.width() : handle.height();
    const int start = horizontal ? groove.left() : groove.top();
    const int span = (horizontal ? groove.width() : groove.height()) - handleLen;
    // The style's own mapping, so the range lines up with the thumb centre.
    return start + handleLen / 2
        + QStyle::sliderPositionFromValue(minimum(), maximum(), v, span, opt.upsideDown);
}

void TrhTrackBar::paintEvent(QPaintEvent* event)
{
    QSlider::paintEvent(event);
    if (enableRange_) {
        PaintSelection();
    }
}

void TrhTrackBar::PaintSelection()
{
    const int lo = qBound(minimum(), qMin(selStart_, selEnd_), maximum());
    const int hi = qBound(minimum(), qMax(selStart_, selEnd_), maximum());
    if (hi <= lo) {
        return;
    }
    const QRect groove = GrooveRect();
    const int a = PixelOfValue(lo);
    const int b = PixelOfValue(hi);
    QRect band;
    if (orientation() == Qt::Horizontal) {
        const int cy = groove.center().y();
        band = QRect(QPoint(qMin(a, b), cy - 2), QPoint(qMax(a, b), cy + 2));
    } else {
        const int cx = groove.center().x();
        band = QRect(QPoint(cx - 2, qMin(a, b)), QPoint(cx + 2, qMax(a, b)));
    }
    QPainter p(this);
    // The thumb stays on top of the range, as the channel lies under it.
    p.setClipRegion(QRegion(rect()).subtracted(HandleRect()));
    p.fillRect(band, palette().color(QPalette::Highlight));
}
