// A left-button click as controls without a button base class need it: the
// press arms, the release inside the control clicks. From the keyboard, Space
// or Enter clicks once per press.
#pragma once

#include <QKeyEvent>
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

    // The second press of a double-click arrives as a press and then this:
    // a double-click counts as one click, so the press it ends is dropped.
    bool DoubleClick(QMouseEvent* event)
    {
        if (event->button() != Qt::LeftButton) {
            return false;
        }
        armed_ = false;
        event->accept();
        return true;
    }

    // True when the key clicks (Space, Return or Enter without modifiers; the
    // event is then taken); `clicked` is false for a held key's repeats, so
    // that it does not click to and fro.
    static bool Key(QKeyEvent* event, bool& clicked)
    {
        const int key = event->key();
        if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier
            || (key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter)) {
            return false;
        }
        event->accept();
        clicked = !event->isAutoRepeat();
        return true;
    }

private:
    bool armed_ = false;
};
