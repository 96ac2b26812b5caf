// TStatusBar: a status bar of text panels from the left, with a simple mode
// that shows one text across the whole bar instead. Switching the mode keeps
// the panels' texts.
//
// A panel is at least as wide as asked, grows to fit its text (up to a third
// of the bar), and the stretch panel takes what is left. A text that still
// does not fit loses its middle, not its end, so that both the start of a
// device path and what follows it ("... connected") stay readable; the whole
// text is then the panel's tool tip.
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
    // The panel that takes the room left (default: the last).
    void SetStretchPanel(int index);
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
    void Fit(QLabel* label, const QString& text) const;

    QVector<QLabel*> panels_;
    QVector<int> widths_;
    QVector<QString> texts_;
    QString simpleText_;
    int stretch_ = -1;
    QLabel* simpleLabel_;
    bool simple_ = false;
};
