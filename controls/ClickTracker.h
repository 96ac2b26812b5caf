// A left-button click as controls without a button base class need it: the
// press arms, the release inside the control clicks.
#pragma once

#include <QMouseEvent>
#include <QRect>

class ClickTracker {
public:
    // True when the event was a left-button press (and is taken).
    bool Press(QMouseEvent* event)
    {
        if (event->button() != Qt::LeftButton) {
            return false;
        }
        armed_ = true;
        event->accept();
        return true;
    }
    // True when the event ended an armed press; `clicked` tells whether it
    // was released inside `area`.
    bool Release(QMouseEvent* event, const QRect& area, bool& clicked)
    {
        if (event->button() != Qt::LeftButton || !armed_) {
            return false;
        }
        armed_ = false;
        event->accept();
        clicked = area.contains(event->position().toPoint());
        return true;
    }

private:
    bool armed_ = false;
};
