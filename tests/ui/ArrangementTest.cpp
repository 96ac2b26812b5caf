// What the user would see broken in the arrangement: controls overlapping,
// sticking out of their parent, or captions that do not fit, in both
// languages.
#include "Fmain.h"
#include "Language.h"
#include "Panel.h"
#include "RadioGroup.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Named visible widgets inside `parent` do not overlap and lie within it.
void ExpectTidy(QWidget* parent)
{
    QList<QWidget*> kids;
    for (auto* k : parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!k->isHidden() && !k->isWindow() && !k->objectName().isEmpty()) {
            kids << k;
        }
    }
    for (int i = 0; i < kids.size(); ++i) {
        const std::string name = kids[i]->objectName().toStdString();
        EXPECT_TRUE(parent->rect().contains(kids[i]->geometry())) << name << " sticks out";
        for (int j = i + 1; j < kids.size(); ++j) {
            EXPECT_FALSE(kids[i]->geometry().intersects(kids[j]->geometry()))
                << name << " overlaps " << kids[j]->objectName().toStdString();
        }
        ExpectTidy(kids[i]);
    }
}

// Whether the caption `widget` shows fits it.
bool CaptionFits(QWidget* widget)
{
    const QFontMetrics fm = widget->fontMetrics();
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return fm.horizontalAdvance(label->text()) <= label->contentsRect().width() && fm.height() <= label->height();
    }
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        return fm.horizontalAdvance(button->text()) + 8 <= button->width();
    }
    if (auto* panel = qobject_cast<TPanel*>(widget)) {
        return fm.horizontalAdvance(panel->Caption()) + 4 <= panel->width();
    }
    if (auto* group = qobject_cast<TRadioGroup*>(widget)) {
        for (int i = 0; i < group->Count(); ++i) {
            const QWidget* item = group->Button(i);
            if (item->sizeHint().width() > item->width() || item->geometry().bottom() > group->contentsRect().bottom()) {
                return false;
            }
        }
    }
    if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        return fm.horizontalAdvance(box->title()) + 16 <= box->width();
    }
    return true;
}

} // namespace

TEST(Arrangement, NothingOverlapsAndCaptionsFitInBothLanguages)
{
    TfrmMain w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    for (const std::uint8_t language : {kLanguageEnglish, kLanguageGerman, kLanguageEnglish}) {
        SetLanguageFlag(language);
        w.ApplyLanguage();
        for (QWidget* page : {w.tabControl, w.tabPreferences, w.tabCOM, w.TabSheet4}) {
            SCOPED_TRACE(page->objectName().toStdString() + (language == kLanguageGerman ? " German" : ""));
            w.PageControl1->setCurrentWidget(page);  // laid out only while current
            QCoreApplication::sendPostedEvents();
            ExpectTidy(page);
            for (QObject* o : w.Components()) {
                auto* c = qobject_cast<QWidget*>(o);
                EXPECT_TRUE(c == nullptr || c->isHidden() || !page->isAncestorOf(c) || CaptionFits(c))
                    << o->objectName().toStdString() << " cut off";
            }
        }
        QTabBar* tabs = w.PageControl1->tabBar();
        int total = 0;
        for (int i = 0; i < tabs->count(); ++i) {
            EXPECT_GE(tabs->tabRect(i).width(), tabs->fontMetrics().horizontalAdvance(tabs->tabText(i)));
            total += tabs->tabRect(i).width();
        }
        EXPECT_LE(total, w.PageControl1->width());
    }
}
