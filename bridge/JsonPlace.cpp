#include "JsonPlace.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {
// A scanner over text already known to be valid JSON: it only steps over
// values, to learn where each one starts.
class Scanner {
public:
    explicit Scanner(const QByteArray& text) : s_(text) {}

    qsizetype Find(const QStringList& path)
    {
        Space();
        qsizetype found = i_;
        for (const QString& part : path) {
            const qsizetype at = Enter(part);
            if (at < 0) {
                break;
            }
            found = at;
        }
        return found;
    }

private:
    // Moves to the value of `part` inside the value at i_; the offset to
    // report for it, or -1 when it is not there.
    qsizetype Enter(const QString& part)
    {
        if (i_ >= s_.size()) {
            return -1;
        }
        if (s_[i_] == '{') {
            ++i_;
            for (Space(); i_ < s_.size() && s_[i_] != '}'; Space()) {
                const qsizetype keyAt = i_;
                const QString key = StringAt();
                Space();
                ++i_;  // ':'
                Space();
                if (key == part) {
                    return keyAt;
                }
                Skip();
                Space();
                if (i_ < s_.size() && s_[i_] == ',') {
                    ++i_;
                }
            }
            return -1;
        }
        if (s_[i_] == '[') {
            bool number = false;
            const int wanted = part.toInt(&number);
            ++i_;
            Space();
            for (int n = 0; number && i_ < s_.size() && s_[i_] != ']'; ++n) {
                if (n == wanted) {
                    return i_;
                }
                Skip();
                Space();
                if (i_ < s_.size() && s_[i_] == ',') {
                    ++i_;
                }
                Space();
            }
        }
        return -1;
    }

    void Space()
    {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) {
            ++i_;
        }
    }

    // The string at i_, decoded; i_ moves past it.
    QString StringAt()
    {
        const qsizetype start = i_;
        ++i_;
        while (i_ < s_.size() && s_[i_] != '"') {
            i_ += s_[i_] == '\\' ? 2 : 1;
        }
        ++i_;
        const QJsonDocument d = QJsonDocument::fromJson("[" + s_.mid(start, i_ - start) + "]");
        return d.array().at(0).toString();
    }

    void Skip()
    {
        if (i_ >= s_.size()) {
            return;
        }
        const char c = s_[i_];
        if (c == '"') {
            StringAt();
        } else if (c == '{' || c == '[') {
            int depth = 0;
            do {
                if (s_[i_] == '"') {
                    StringAt();
                    continue;
                }
                depth += (s_[i_] == '{' || s_[i_] == '[') ? 1 : (s_[i_] == '}' || s_[i_] == ']') ? -1 : 0;
                ++i_;
            } while (depth > 0 && i_ < s_.size());
        } else {
            while (i_ < s_.size() && !QByteArray(",}] \t\r\n").contains(s_[i_])) {
                ++i_;
            }
        }
    }

    const QByteArray& s_;
    qsizetype i_ = 0;
};
}  // namespace

TextPlace PlaceOfOffset(const QByteArray& text, qsizetype offset)
{
    const QByteArray before = text.left(offset);
    const qsizetype lineStart = before.lastIndexOf('\n') + 1;
    return {static_cast<int>(before.count('\n')) + 1, static_cast<int>(QString::fromUtf8(before.mid(lineStart)).size()) + 1};
}

TextPlace PlaceOf(const QByteArray& text, const QStringList& path)
{
    return PlaceOfOffset(text, Scanner(text).Find(path));
}
