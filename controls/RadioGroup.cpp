#include "RadioGroup.h"

#include <QButtonGroup>
#include <QVBoxLayout>

TRadioGroup::TRadioGroup(QWidget* parent) : QGroupBox(parent), group_(new QButtonGroup(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(2);
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, [this](int id) { emit clicked(id); });
}

void TRadioGroup::SetItems(const QStringList& items)
{
    for (TGroupButton* b : buttons_) {
        group_->removeButton(b);
        delete b;
    }
    buttons_.clear();
    while (QLayoutItem* item = layout()->takeAt(0)) {
        delete item;
    }
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new TGroupButton(items[i], this);
        layout()->addWidget(b);
        group_->addButton(b, i);
        buttons_.push_back(b);
    }
    static_cast<QVBoxLayout*>(layout())->addStretch(1);
}

QStringList TRadioGroup::Items() const
{
    QStringList out;
    for (const TGroupButton* b : buttons_) {
        out << b->text();
    }
    return out;
}

QString TRadioGroup::ItemText(int index) const
{
    const TGroupButton* b = Button(index);
    return b != nullptr ? b->text() : QString();
}

void TRadioGroup::SetItemText(int index, const QString& text)
{
    if (TGroupButton* b = Button(index)) {
        b->setText(text);
    }
}

TGroupButton* TRadioGroup::Button(int index) const
{
    return index >= 0 && index < buttons_.size() ? buttons_[index] : nullptr;
}

int TRadioGroup::ItemIndex() const
{
    return group_->checkedId();
}

void TRadioGroup::SetItemIndex(int index)
{
    if (TGroupButton* b = Button(index)) {
        b->setChecked(true);
        return;
    }
    // No item: clear the selection (an exclusive group refuses that directly).
    group_->setExclusive(false);
    for (TGroupButton* b : buttons_) {
        b->setChecked(false);
    }
    group_->setExclusive(true);
}
