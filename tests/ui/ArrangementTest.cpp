// What the user would see broken in the arrangement: controls overlapping,
// sticking out of their parent, or captions that do not fit, in both
// languages.
#include "Fmain.h"
#include "Language.h"
#include "Panel.h"
#include "RadioGroup.h"
#include "Rhtrack.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class ArrangementTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetLanguageFlag(kLanguageEnglish);
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    }
    void TearDown() override { SetLanguageFlag(kLanguageEnglish); }

    TfrmMain w;
};

// Visible widgets directly inside `parent`: none may overlap another, and
// each lies within its parent.
void ExpectTidy(QWidget* parent)
{
    QList<QWidget*> kids;
    for (QObject* o : parent->children()) {
        auto* k = qobject_cast<QWidget*>(o);
        if (k != nullptr && !k->isHidden() && !k->isWindow() && !k->objectName().isEmpty()) kids << k;
    }
    for (int i = 0; i < kids.size(); ++i) {
        EXPECT_TRUE(parent->rect().contains(kids[i]->geometry()))
            << kids[i]->objectName().toStdString() << " sticks out of " << parent->objectName().toStdString();
        for (int j = i + 1; j < kids.size(); ++j) {
            EXPECT_FALSE(kids[i]->geometry().intersects(kids[j]->geometry()))
                << kids[i]->objectName().toStdString() << " overlaps " << kids[j]->objectName().toStdString();
        }
        ExpectTidy(kids[i]);
    }
}

// Every caption fits the control that shows it.
void ExpectCaptionFits(QWidget* widget)
{
    const QFontMetrics fm = widget->fontMetrics();
    const std::string name = widget->objectName().toStdString();
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        EXPECT_LE(fm.horizontalAdvance(label->text()), label->contentsRect().width()) << name;
        EXPECT_LE(fm.height(), label->height()) << name;
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
        EXPECT_LE(fm.horizontalAdvance(button->text()) + 8, button->width()) << name;
    } else if (auto* panel = qobject_cast<TPanel*>(widget)) {
        EXPECT_LE(fm.horizontalAdvance(panel->Caption()) + 4, panel->width()) << name;
    } else if (auto* group = qobject_cast<TRadioGroup*>(widget)) {
        EXPECT_LE(fm.horizontalAdvance(group->title()) + 16, group->width()) << name;
        for (int i = 0; i < group->Count(); ++i) {
            EXPECT_LE(group->Button(i)->sizeHint().width(), group->Button(i)->width()) << name << " item " << i;
            EXPECT_LE(group->Button(i)->geometry().bottom(), group->contentsRect().bottom()) << name << " item " << i;
        }
    } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        EXPECT_LE(fm.horizontalAdvance(box->title()) + 16, box->width()) << name;
    }
}

void ExpectCaptionsFit(TfrmMain& w)
{
    for (QWidget* page : {w.tabControl, w.tabPreferences, w.tabCOM, w.TabSheet4}) {
        // Laid out only while current.
        w.PageControl1->setCurrentWidget(page);
        QCoreApplication::sendPostedEvents();
        for (QObject* c : w.Components()) {
            auto* widget = qobject_cast<QWidget*>(c);
            if (widget != nullptr && !widget->isHidden() && page->isAncestorOf(widget)) {
                ExpectCaptionFits(widget);
            }
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

} // namespace

TEST_F(ArrangementTest, NothingOverlapsOrSticksOut)
{
    for (QWidget* page : {w.tabControl, w.tabPreferences, w.tabCOM, w.TabSheet4}) {
        SCOPED_TRACE(page->objectName().toStdString());
        // Only the current page is laid out to the page control's size.
        w.PageControl1->setCurrentWidget(page);
        ExpectTidy(page);
    }
}

TEST_F(ArrangementTest, CaptionsFitInBothLanguages)
{
    {
        SCOPED_TRACE("design-time English");
        ExpectCaptionsFit(w);
    }
    SetLanguageFlag(kLanguageGerman);
    w.ApplyLanguage();
    {
        SCOPED_TRACE("German");
        ExpectCaptionsFit(w);
    }
    SetLanguageFlag(kLanguageEnglish);
    w.ApplyLanguage();
    {
        SCOPED_TRACE("table English");
        ExpectCaptionsFit(w);
    }
}
