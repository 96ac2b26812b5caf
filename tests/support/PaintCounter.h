// Test helper: counts the paint events a widget receives, and flushes the
// window's pending repaints so that "did not repaint" can be asserted without
// waiting an arbitrary time. The sentinel is another widget of the same
// shown window that does not overlap the target.
#pragma once

#include "WaitFor.h"

#include <QEvent>
#include <QObject>
#include <QWidget>

class PaintCounter : public QObject {
public:
    PaintCounter(QWidget* target, QWidget* sentinel) : target_(target), sentinel_(sentinel) { target->installEventFilter(this); }
    ~PaintCounter() override { target_->removeEventFilter(this); }

    int Count() const { return count_; }

    // Paints everything the window has pending: an immediate repaint of the
    // sentinel is one synchronous pass that also paints every widget left
    // dirty, the target included if it was.
    void Flush()
    {
        QCoreApplication::sendPostedEvents();
        sentinel_->repaint();
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == target_ && event->type() == QEvent::Paint) {
            ++count_;
        }
        return false;
    }

private:
    QWidget* target_;
    QWidget* sentinel_;
    int count_ = 0;
};
