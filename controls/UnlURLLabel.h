// TUnlURLLabel: a label that looks like a hyperlink (blue, underlined, hand
// cursor) and opens its URL with the desktop's default handler when clicked.
// A click runs the label's own click handler first, so a handler may still
// change the URL that is then opened. The keyboard reaches it with Tab and
// opens it with Space or Enter, as it would a link in a browser.
#pragma once

#include "ClickTracker.h"

#include <QLabel>
#include <QString>

#include <functional>

class TUnlURLLabel : public QLabel {
    Q_OBJECT
public:
    explicit TUnlURLLabel(QWidget* parent = nullptr);

    QString URL() const { return url_; }
    // Sets the address and shows it as the caption.
    void SetURL(const QString& url);

    // The label's own click handler, then opening URL. Whether the address
    // could be opened is not reported: the label stays as it was.
    void Click();

    // How an address is opened. Replaceable so that tests never start a
    // browser; the default hands the address to QDesktopServices.
    using Opener = std::function<void(const QString& url)>;
    static Opener& UrlOpener();

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString url_;
    ClickTracker click_;
};
