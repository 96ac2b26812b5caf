// Where a member of a JSON text stands, as an editor shows it, so that a
// message about a file's content (an unknown key, a value out of range)
// can name the line and column as a parse error does.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct TextPlace {
    int line = 1;    // from 1
    int column = 1;  // from 1, in characters
};

// The place of `offset` (bytes from the start) in `text`.
TextPlace PlaceOfOffset(const QByteArray& text, qsizetype offset);

// The place of the member at `path` in valid JSON `text`: keys of objects
// and indexes (as numbers) of arrays, from the top. A member of an object
// is placed at its key, an element of an array at its value; a path that is
// not in the text stops at the deepest part that is.
TextPlace PlaceOf(const QByteArray& text, const QStringList& path);
