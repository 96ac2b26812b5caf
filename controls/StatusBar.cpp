#include "StatusBar.h"

#include <QLabel>

namespace {

QLabel* MakePanelLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setIndent(3);
    return label;
}

} // namespace

TStatusBar::TStatusBar(QWidget* parent) : QFrame(parent), simpleLabel_(MakePanelLabel(this))
{
    simpleLabel_->hide();
}

void TStatusBar::SetPanelWidths(const QVector<int>& widths)
{
    qDeleteAll(panels_);
    panels_.clear();
    widths_ = widths;
    for (int i = 0; i < widths.size(); ++i) {
        QLabel* label = MakePanelLabel(this);
        label->setObjectName(QStringLiteral("panel%1").arg(i));
        panels_.push_back(label);
    }
    SetSimplePanel(simple_);
}

int TStatusBar::PanelWidth(int index) const
{
    return index >= 0 && index < widths_.size() ? widths_[index] : 0;
}

QLabel* TStatusBar::PanelLabel(int index) const
{
    return index >= 0 && index < panels_.size() ? panels_[index] : nullptr;
}

QString TStatusBar::PanelText(int index) const
{
    const QLabel* label = PanelLabel(index);
    return label != nullptr ? label->text() : QString();
}

void TStatusBar::SetPanelText(int index, const QString& text)
{
    if (QLabel* label = PanelLabel(index)) {
        label->setText(text);
    }
}

void TStatusBar::SetSimplePanel(bool simple)
{
    simple_ = simple;
    simpleLabel_->setVisible(simple);
    for (QLabel* label : panels_) {
        label->setVisible(!simple);
    }
    Arrange();
}

QString TStatusBar::SimpleText() const
{
    return simpleLabel_->text();
}

void TStatusBar::SetSimpleText(const QString& text)
{
    simpleLabel_->setText(text);
}

void TStatusBar::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    Arrange();
}

void TStatusBar::Arrange()
{
    const int h = height() - 2;
    simpleLabel_->setGeometry(0, 2, width(), h);
    int x = 0;
    for (int i = 0; i < panels_.size(); ++i) {
        int w = widths_[i];
        if (i == panels_.size() - 1 && x + w < width()) {
            w = width() - x;
        }
        panels_[i]->setGeometry(x, 2, w, h);
        x += widths_[i] + 2;
    }
}
