// The web panel's files, embedded in the program: the only files the server
// ever sends. A request path is looked up in this fixed table, never on disk.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

class WebFiles {
public:
    struct File {
        QByteArray body;
        QByteArray mimeType;
    };
    WebFiles();
    // "/" is the panel itself; nullptr for anything else not embedded.
    const File* Find(const QString& path) const;

private:
    QHash<QString, File> files_;
};
