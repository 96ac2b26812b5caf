// TRadioGroup: a captioned box of radio buttons addressed by item index.
// Its buttons are TGroupButton, not plain QRadioButton: they belong to the
// group and are switched with it, never on their own.
#pragma once

#include <QGroupBox>
#include <QRadioButton>
#include <QStringList>
#include <QVector>

class QButtonGroup;

class TGroupButton : public QRadioButton {
    Q_OBJECT
public:
    using QRadioButton::QRadioButton;
};

class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TRadioGroup(QWidget* parent = nullptr);

    void SetItems(const QStringList& items);
    QStringList Items() const;
    int Count() const { return static_cast<int>(buttons_.size()); }
    QString ItemText(int index) const;
    // Renames an item; the selection does not change.
    void SetItemText(int index, const QString& text);
    TGroupButton* Button(int index) const;

    // -1 when nothing is selected.
    int ItemIndex() const;
    // Selects an item by program; does not raise clicked.
    void SetItemIndex(int index);

    QString Caption() const { return title(); }
    void SetCaption(const QString& caption) { setTitle(caption); }

signals:
    // The user picked an item (the index is already ItemIndex()).
    void clicked(int index);

private:
    QButtonGroup* group_;
    QVector<TGroupButton*> buttons_;
};
