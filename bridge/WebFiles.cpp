#include "WebFiles.h"

#include <QDirIterator>
#include <QFile>

namespace {
const char* const kRoot = ":/kestra-web";

QByteArray MimeOf(const QString& name)
{
    if (name.endsWith(QLatin1String(".html"))) {
        return "text/html; charset=utf-8";
    }
    if (name.endsWith(QLatin1String(".js"))) {
        return "text/javascript; charset=utf-8";
    }
    if (name.endsWith(QLatin1String(".css"))) {
        return "text/css; charset=utf-8";
    }
    if (name.endsWith(QLatin1String(".svg"))) {
        return "image/svg+xml";
    }
    return "application/octet-stream";
}
}  // namespace

WebFiles::WebFiles()
{
    const QString root = QLatin1String(kRoot);
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) {
            files_.insert(path.mid(root.size()), File{f.readAll(), MimeOf(path)});
        }
    }
}

const WebFiles::File* WebFiles::Find(const QString& path) const
{
    auto it = files_.constFind(path == QLatin1String("/") ? QStringLiteral("/index.html") : path);
    return it == files_.constEnd() ? nullptr : &it.value();
}
