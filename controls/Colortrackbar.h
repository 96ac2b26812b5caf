// TColorTrackBar: a trackbar whose thumb is painted over as a coloured fader
// knob with a black index line, after the slider has done its own painting,
// so the knob follows the thumb wherever the style puts it.
#pragma once

#include "Colors.h"
#include "Rhtrack.h"

#include <QPoint>
#include <QRect>

// Where the knob goes, in the half-open rectangle convention (right and
// bottom exclusive) that the painting uses. Pure, so it can be checked.
struct KnobGeometry {
    int left, top, right, bottom; // inner fill rectangle F
    QPoint triangle[3];
    QPoint lineFrom, lineTo; // the end point itself is not drawn
};

// `thumb` is the thumb rectangle R as left/top/right/bottom (right and bottom
// exclusive); the index line is 18 px long, 3 px above F's bottom for a thumb
// length of 18 to 20, otherwise 13 px long, 2 px above.
KnobGeometry ComputeKnobGeometry(int left, int top, int right, int bottom, int thumbLength);

class TColorTrackBar : public TrhTrackBar {
    Q_OBJECT
public:
    explicit TColorTrackBar(QWidget* parent = nullptr);

    TColor ThumbColor() const { return thumbColor_; }
    void SetThumbColor(TColor color);
    int LineLength() const { return lineLength_; }
    void SetLineLength(int length);
    int ThumbLength() const { return thumbLength_; }
    void SetThumbLength(int length);

    // The thumb rectangle R the knob is painted into: the style's thumb along
    // the channel, ThumbLength across it.
    QRect ThumbRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TColor thumbColor_ = clRed;
    int lineLength_ = 10;
    int thumbLength_ = 20;
};
