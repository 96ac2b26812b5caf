// TfrmMsg: the traffic-log window. A read-only memo with one line per frame
// and the choice between showing sent and received frames or received ones
// only. It is created hidden with the main window, docks to the main window's
// right edge when shown, and keeps its log while hidden.
#pragma once

#include <QStringList>
#include <QWidget>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

class TfrmMsg : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMsg(QWidget* parent = nullptr);

    QPlainTextEdit* mmMsg = nullptr;
    QRadioButton* rbRXTX = nullptr;
    QRadioButton* rbRXOnly = nullptr;
    // Below the radio buttons: the decoded view and saving what is shown.
    QCheckBox* cbDecoded = nullptr;
    QPushButton* btnSaveLog = nullptr;

    // Lines reach the memo together once the current event is handled, so
    // that laying out the memo never delays the next frame on the line.
    void AppendLine(const QString& line);
    // Puts the waiting lines into the memo now.
    void Flush();
    void Clear();
    // The memo's lines and the lines still waiting for it.
    QStringList Lines() const;

    // Shows the window beside `mainFrame` (the main window's frame geometry;
    // mainHeight: its height inside the frame): same top and outer height,
    // left edge at the main window's right edge. Every showing starts with
    // sent frames logged again.
    void ShowDocked(const QRect& mainFrame, int mainHeight);
    // Follows the main window: top and left only.
    void FollowMain(const QRect& mainFrame);
    // Captions of the additions in the language in force.
    void ApplyLanguage();

    static constexpr int kDecodedMemoWidth = 470;

signals:
    void shown();
    void closed();
    void saveLogRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QStringList pending_;

    void LayOut(int height);
    int MemoWidth() const;
    void PlaceAdditions();
};
