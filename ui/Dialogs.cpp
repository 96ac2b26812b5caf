#include "Dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {
QString AppTitle(QWidget* owner)
{
    return owner != nullptr ? owner->windowTitle() : QApplication::applicationName();
}
}  // namespace

TDialogs::Answer QtDialogs::AbortRetryIgnore(QWidget* owner, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Information, caption, text,
                    QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, owner);
    switch (box.exec()) {
    case QMessageBox::Abort:
        return Answer::Abort;
    case QMessageBox::Retry:
        return Answer::Retry;
    default:
        return Answer::Ignore;
    }
}

TDialogs::Answer QtDialogs::WarningOkCancel(QWidget* owner, const QString& caption, const QString& text,
                                            const QString& cancelCaption)
{
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok | QMessageBox::Cancel, owner);
    box.button(QMessageBox::Cancel)->setText(cancelCaption);
    return box.exec() == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}

void QtDialogs::Information(QWidget* owner, const QString& text)
{
    QMessageBox::information(owner, AppTitle(owner), text);
}

void QtDialogs::Error(QWidget* owner, const QString& text)
{
    QMessageBox::critical(owner, AppTitle(owner), text);
}

void QtDialogs::Plain(QWidget* owner, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, AppTitle(owner), text, QMessageBox::Ok, owner);
    box.exec();
}
