#include "UnlURLLabel.h"

#include "Colors.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QUrl>

namespace {

void OpenWithDesktop(const QString& url)
{
    // Typed-style addresses ("www.example.org") are accepted as a shell would.
    QDesktopServices::openUrl(QUrl::fromUserInput(url));
}

} // namespace

TUnlURLLabel::Opener& TUnlURLLabel::UrlOpener()
{
    static Opener opener = OpenWithDesktop;
    return opener;
}

TUnlURLLabel::TUnlURLLabel(QWidget* parent) : QLabel(parent)
{
    // The caption is an address, never markup.
    setTextFormat(Qt::PlainText);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, ToQColor(clBlue));
    setPalette(pal);
    QFont f = font();
    f.setUnderline(true);
    f.setBold(false);
    f.setItalic(false);
    f.setStrikeOut(false);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void TUnlURLLabel::SetURL(const QString& url)
{
    url_ = url;
    setText(url);
}

void TUnlURLLabel::Click()
{
    emit clicked();
    if (const Opener& open = UrlOpener()) {
        open(url_);
    }
}

void TUnlURLLabel::mousePressEvent(QMouseEvent* event)
{
    if (!click_.Press(event)) {
        QLabel::mousePressEvent(event);
    }
}

void TUnlURLLabel::mouseReleaseEvent(QMouseEvent* event)
{
    bool clicked = false;
    if (!click_.Release(event, rect(), clicked)) {
        QLabel::mouseReleaseEvent(event);
    } else if (clicked) {
        Click();
    }
}

void TUnlURLLabel::keyPressEvent(QKeyEvent* event)
{
    bool clicked = false;
    if (!ClickTracker::Key(event, clicked)) {
        QLabel::keyPressEvent(event);
    } else if (clicked) {
        Click();
    }
}

void TUnlURLLabel::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    // A label draws no focus of its own; without this, Tab would land nowhere visible.
    if (hasFocus()) {
        QPainter painter(this);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = contentsRect();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}
