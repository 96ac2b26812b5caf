#include "ToolkitLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

void UseToolkitLanguage(bool german)
{
    // Owned by the application object, so it goes with it.
    static QPointer<QTranslator> catalogue;
    static bool installed = false;
    if (catalogue.isNull()) {
        installed = false;
    }
    if (german == installed) {
        return;
    }
    if (!german) {
        QCoreApplication::removeTranslator(catalogue);
        installed = false;
        return;
    }
    if (catalogue.isNull()) {
        auto* loaded = new QTranslator(QCoreApplication::instance());
        if (!loaded->load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            delete loaded;
            return;
        }
        catalogue = loaded;
    }
    installed = QCoreApplication::installTranslator(catalogue);
}
