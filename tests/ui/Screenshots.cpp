// Saves a picture of every tab of the main window in English, German and
// English again (the table's texts), for looking at the layout:
//   ui_screenshots <out dir>
// Run it under a real X server (xvfb-run) to see the fonts a user sees.
#include "Fmain.h"
#include "Language.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(outDir);

    TfrmMain w;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) {
        std::fprintf(stderr, "window not exposed\n");
        return 1;
    }
    struct Pass {
        const char* name;
        std::uint8_t flag;
        bool apply;
    };
    const Pass passes[] = {{"design", kLanguageEnglish, false}, {"german", kLanguageGerman, true},
                           {"english", kLanguageEnglish, true}};
    int saved = 0;
    for (const Pass& p : passes) {
        SetLanguageFlag(p.flag);
        if (p.apply) {
            w.ApplyLanguage();
        }
        for (int i = 0; i < w.PageControl1->count(); ++i) {
            w.PageControl1->setCurrentIndex(i);
            QTest::qWait(50); // let the window repaint before grabbing
            const QString file = QStringLiteral("%1/%2-%3-%4.png")
                                     .arg(outDir, QLatin1String(p.name))
                                     .arg(i)
                                     .arg(w.PageControl1->widget(i)->objectName());
            if (w.grab().save(file)) {
                std::printf("%s\n", qPrintable(file));
                ++saved;
            }
        }
    }
    return saved == 3 * w.PageControl1->count() ? 0 : 1;
}
