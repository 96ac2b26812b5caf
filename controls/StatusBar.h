// TStatusBar: a status bar of fixed-width text panels from the left, with a
// simple mode that shows one text across the whole bar instead. Switching the
// mode keeps the panels' texts.
#pragma once

#include <QFrame>
#include <QString>
#include <QVector>

class QLabel;

class TStatusBar : public QFrame {
    Q_OBJECT
public:
    explicit TStatusBar(QWidget* parent = nullptr);

    // Replaces the panels with ones of these widths (the last one takes
    // what is left when the bar is wider).
    void SetPanelWidths(const QVector<int>& widths);
    int PanelCount() const { return static_cast<int>(panels_.size()); }
    int PanelWidth(int index) const;
    // Out-of-range indexes are ignored / give an empty text.
    QString PanelText(int index) const;
    void SetPanelText(int index, const QString& text);

    bool SimplePanel() const { return simple_; }
    void SetSimplePanel(bool simple);
    QString SimpleText() const;
    void SetSimpleText(const QString& text);

    QLabel* PanelLabel(int index) const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Arrange();

    QVector<QLabel*> panels_;
    QVector<int> widths_;
    QLabel* simpleLabel_;
    bool simple_ = false;
};
