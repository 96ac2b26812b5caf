// Every modal dialog of the window goes through this one interface, so that
// tests can answer them without a human; the program shows real message boxes.
#pragma once

#include <QString>

class QWidget;

class TDialogs {
public:
    enum class Answer { Ok, Cancel, Abort, Retry, Ignore };

    virtual ~TDialogs() = default;
    // Connection error: Abort, Retry and Ignore, information icon.
    virtual Answer AbortRetryIgnore(QWidget* owner, const QString& caption, const QString& text) = 0;
    // Warning with OK and a Cancel button captioned cancelCaption.
    virtual Answer WarningOkCancel(QWidget* owner, const QString& caption, const QString& text,
                                   const QString& cancelCaption) = 0;
    virtual void Information(QWidget* owner, const QString& text) = 0;
    virtual void Error(QWidget* owner, const QString& text) = 0;
    // A plain box with OK and no icon.
    virtual void Plain(QWidget* owner, const QString& text) = 0;
};

// The real thing: QMessageBox, modal to the owner.
class QtDialogs : public TDialogs {
public:
    Answer AbortRetryIgnore(QWidget* owner, const QString& caption, const QString& text) override;
    Answer WarningOkCancel(QWidget* owner, const QString& caption, const QString& text,
                           const QString& cancelCaption) override;
    void Information(QWidget* owner, const QString& text) override;
    void Error(QWidget* owner, const QString& text) override;
    void Plain(QWidget* owner, const QString& text) override;
};
