#include "EditLength.h"

#include <QLineEdit>

namespace {

constexpr const char* kGuardName = "kestraLengthGuard";

class LengthGuard : public QObject {
public:
    LengthGuard(QLineEdit* edit, int maxLength)
        : QObject(edit), edit_(edit), max_(maxLength), text_(edit->text()), cursor_(edit->cursorPosition())
    {
        setObjectName(QString::fromLatin1(kGuardName));
        // A user edit is announced (textEdited) before the change is
        // (textChanged), so text_ still holds the text before the edit.
        connect(edit, &QLineEdit::textEdited, this, &LengthGuard::Edited);
        connect(edit, &QLineEdit::textChanged, this, [this] { text_ = edit_->text(); });
        connect(edit, &QLineEdit::cursorPositionChanged, this, [this](int, int now) { cursor_ = now; });
    }

    int Max() const { return max_; }

private:
    void Edited(const QString& now)
    {
        if (reverting_ || now.size() <= max_ || now.size() <= text_.size()) {
            return;
        }
        reverting_ = true;
        const QString before = text_;
        const int cursor = cursor_;
        edit_->setText(before);
        edit_->setCursorPosition(cursor);
        reverting_ = false;
    }

    QLineEdit* edit_;
    int max_;
    QString text_;
    int cursor_;
    bool reverting_ = false;
};

LengthGuard* GuardOf(const QLineEdit* edit)
{
    return edit->findChild<LengthGuard*>(QString::fromLatin1(kGuardName), Qt::FindDirectChildrenOnly);
}

} // namespace

void SetMaxLength(QLineEdit* edit, int maxLength)
{
    delete GuardOf(edit);
    if (maxLength > 0) {
        new LengthGuard(edit, maxLength);
    }
}

int MaxLength(const QLineEdit* edit)
{
    const LengthGuard* guard = GuardOf(edit);
    return guard != nullptr ? guard->Max() : 0;
}
