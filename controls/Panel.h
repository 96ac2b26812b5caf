// TPanel: a plain bevelled panel with a colour and a centred caption. The
// window uses it as a latching two-state button (both bevels raised =
// released, both lowered = pressed) and as a small coloured indicator lamp.
// Labels placed on a panel do not take clicks: a click on them is a click on
// the panel.
//
// A latching panel takes the focus from the keyboard only (Tab), never from a
// click: a click on a mute panel must leave the focus on the fader the user
// was moving, since faders send only while they hold it. With the focus,
// Space or Enter clicks it. Screen readers see a latching panel as a
// checkable button (pressed = checked) and an indicator as a lamp whose value
// is "lit" or "dark" (PanelAccessible.cpp).
#pragma once

#include "ClickTracker.h"

#include "Colors.h"

#include <QFrame>
#include <QString>

enum TBevel : int { bvNone = 0, bvLowered = 1, bvRaised = 2 };

class TPanel : public QFrame {
    Q_OBJECT
public:
    explicit TPanel(QWidget* parent = nullptr);

    TBevel BevelInner() const { return inner_; }
    TBevel BevelOuter() const { return outer_; }
    void SetBevelInner(TBevel bevel);
    void SetBevelOuter(TBevel bevel);

    TColor Color() const { return color_; }
    void SetColor(TColor color);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);

    // Runs the click as a mouse click would (used by keyboard and tests).
    void Click();

    // Set by MakeIndicator: the panel is a lamp, not a button.
    bool IsIndicator() const { return indicator_; }
    TColor DarkColor() const { return dark_; }
    void MarkIndicator(TColor darkColor);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    TBevel inner_ = bvNone;
    TBevel outer_ = bvRaised;
    TColor color_ = clBtnFace;
    QString caption_;
    ClickTracker click_;
    bool indicator_ = false;
    TColor dark_ = 0;
};

// Latching convention: the state is read from the inner bevel only (raised
// means released); setting it moves both bevels together.
bool IsPressed(const TPanel* panel);
void SetPressed(TPanel* panel, bool pressed);

// Indicator convention: 20 x 8, lowered bevels, no caption, the colour is the
// state. It is made dark: `darkColor` is its dark colour, any other is lit.
// An indicator takes no focus.
void MakeIndicator(TPanel* panel, TColor darkColor);
bool IsLit(const TPanel* indicator);
// The value an indicator reports to assistive technology ("lit" or "dark");
// empty for a latching panel.
QString PanelValueText(const TPanel* panel);
