#include "StatusBar.h"

#include <QLabel>

#include <algorithm>

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
    texts_ = QVector<QString>(widths.size());
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

void TStatusBar::SetStretchPanel(int index)
{
    stretch_ = index;
    Arrange();
}

QString TStatusBar::PanelText(int index) const
{
    return index >= 0 && index < texts_.size() ? texts_[index] : QString();
}

void TStatusBar::SetPanelText(int index, const QString& text)
{
    if (index >= 0 && index < texts_.size()) {
        texts_[index] = text;
        Arrange();
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
    return simpleText_;
}

void TStatusBar::SetSimpleText(const QString& text)
{
    simpleText_ = text;
    Fit(simpleLabel_, text);
}

void TStatusBar::Fit(QLabel* label, const QString& text) const
{
    const int room = label->contentsRect().width() - 2 * label->indent();
    const QString shown = label->fontMetrics().elidedText(text, Qt::ElideMiddle, std::max(room, 0));
    label->setText(shown);
    if (shown != text) {
        label->setToolTip(text);
    }
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
    Fit(simpleLabel_, simpleText_);
    const int count = static_cast<int>(panels_.size());
    const int stretch = stretch_ >= 0 && stretch_ < count ? stretch_ : count - 1;
    const auto need = [this](int i) {
        const QLabel* l = panels_[i];
        return texts_[i].isEmpty() ? 0
                                   : l->fontMetrics().horizontalAdvance(texts_[i]) + 2 * l->indent() + 2 * l->frameWidth() + 2;
    };
    // A panel beside the message grows to fit its text: up to a third of the
    // bar, or into whatever room the message's own text leaves free.
    const int gaps = 2 * std::max(count - 1, 0);
    const int messageNeeds = stretch >= 0 ? need(stretch) : 0;
    int others = 0;
    for (int i = 0; i < count; ++i) {
        others += i == stretch ? 0 : widths_[i];
    }
    QVector<int> w = widths_;
    int used = gaps;
    for (int i = 0; i < count; ++i) {
        if (i == stretch) {
            continue;
        }
        const int free = width() - gaps - messageNeeds - (others - widths_[i]);
        w[i] = std::max(widths_[i], std::min(need(i), std::max(width() / 3, free)));
        used += w[i];
    }
    if (stretch >= 0) {
        w[stretch] = std::max(width() - used, std::min(widths_[stretch], messageNeeds));
    }
    int x = 0;
    for (int i = 0; i < count; ++i) {
        panels_[i]->setGeometry(x, 2, i == count - 1 ? std::max(w[i], width() - x) : w[i], h);
        Fit(panels_[i], texts_[i]);
        x += w[i] + 2;
    }
}
