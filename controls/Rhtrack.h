// TrhTrackBar: the slider every fader of the window uses. On top of QSlider
// it keeps the trackbar conventions the handlers are written against:
//  - vertical trackbars have their minimum at the TOP (a gain fader's
//    position 0 = 0 dB is up), and Up/PageUp move the thumb up;
//  - a selection range SelStart..SelEnd that is drawn in the channel only
//    while EnableRange is on (off on every fader of the window);
//  - valueChanged is the change event: it fires when the program sets a
//    different position too, and not when it sets the same one.
#pragma once

#include <QSlider>

enum TTickMark : int { tmBottomRight = 0, tmTopLeft = 1, tmBoth = 2 };
enum TTickStyle : int { tsNone = 0, tsAuto = 1 };

class TrhTrackBar : public QSlider {
    Q_OBJECT
public:
    explicit TrhTrackBar(QWidget* parent = nullptr);

    int Position() const { return value(); }
    void SetPosition(int position) { setValue(position); }
    int Min() const { return minimum(); }
    int Max() const { return maximum(); }
    void SetMin(int min) { setMinimum(min); }
    void SetMax(int max) { setMaximum(max); }
    void SetRange(int min, int max) { setRange(min, max); }

    Qt::Orientation Orientation() const { return orientation(); }
    void SetOrientation(Qt::Orientation orientation);

    int Frequency() const { return tickInterval(); }
    void SetFrequency(int frequency) { setTickInterval(frequency); }
    TTickMark TickMarks() const { return tickMarks_; }
    void SetTickMarks(TTickMark marks);
    TTickStyle TickStyle() const { return tickStyle_; }
    void SetTickStyle(TTickStyle style);

    int PageSize() const { return pageStep(); }
    void SetPageSize(int size) { setPageStep(size); }

    bool EnableRange() const { return enableRange_; }
    void SetEnableRange(bool enable);
    int SelStart() const { return selStart_; }
    int SelEnd() const { return selEnd_; }
    void SetSelStart(int position);
    void SetSelEnd(int position);

    // The groove and the thumb as the style lays them out.
    QRect GrooveRect() const;
    QRect HandleRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

    // Pixel offset of a value along the groove, in widget coordinates.
    int PixelOfValue(int value) const;

private:
    void ApplyTicks();
    void PaintSelection();

    bool enableRange_ = false;
    int selStart_ = 0;
    int selEnd_ = 0;
    TTickMark tickMarks_ = tmBottomRight;
    TTickStyle tickStyle_ = tsAuto;
};
