// The arrangement the handlers and the user rely on: strip order and the
// order within a strip, the ganged panels between their faders, nothing
// overlapping, nothing outside its parent and every caption fitting, in both
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

    // A control's rectangle in the coordinates of its tab page.
    QRect R(QWidget* c) const
    {
        QWidget* page = c;
        while (page->parentWidget() != nullptr && page != w.tabControl && page != w.tabPreferences
               && page != w.tabCOM && page != w.TabSheet4) {
            page = page->parentWidget();
        }
        return QRect(c->mapTo(page, QPoint(0, 0)), c->size());
    }

    static bool Above(const QRect& a, const QRect& b) { return a.bottom() < b.top(); }
    static bool SharesColumn(const QRect& a, const QRect& b)
    {
        return a.left() <= b.right() && b.left() <= a.right();
    }

    TfrmMain w;
};

} // namespace

TEST_F(ArrangementTest, InputStripsRunLeftToRightEachTopToBottom)
{
    QLabel* captions[] = {w.Label1, w.Label2, w.Label3, w.Label4, w.Label5, w.Label6, w.Label7};
    int lastX = -1;
    for (int n = 1; n <= 7; ++n) {
        SCOPED_TRACE(n);
        TrhTrackBar* fader = n <= 6 ? w.tbMic[n] : w.tbLine;
        QProgressBar* bar = n <= 6 ? w.pgbMic[n] : w.pgbLine;
        QLineEdit* edit = n <= 6 ? w.edMic[n] : w.edLine;
        TPanel* mute = n <= 6 ? w.Panel[n] : w.btnLine;
        EXPECT_GT(R(fader).left(), lastX);
        lastX = R(bar).right();

        EXPECT_TRUE(Above(R(captions[n - 1]), R(fader)));
        EXPECT_TRUE(Above(R(fader), R(edit)));
        EXPECT_TRUE(Above(R(edit), R(mute)));
        // The level bar stands on the fader's right, along it.
        EXPECT_GT(R(bar).left(), R(fader).right());
        EXPECT_TRUE(R(bar).top() >= R(fader).top() && R(bar).bottom() <= R(fader).bottom());
        for (QWidget* below : {static_cast<QWidget*>(captions[n - 1]), static_cast<QWidget*>(edit),
                               static_cast<QWidget*>(mute)}) {
            EXPECT_TRUE(SharesColumn(R(below), R(fader)));
        }
        if (n <= 6) {
            EXPECT_TRUE(Above(R(mute), R(w.btnduck[n])));
            EXPECT_TRUE(Above(R(w.btnduck[n]), R(w.panduck[n])));
            EXPECT_TRUE(SharesColumn(R(w.panduck[n]), R(fader)));
        }
    }
    // The line strip has neither a priority panel nor a lamp.
    EXPECT_EQ(w.FindComponent(QStringLiteral("btnduck7")), nullptr);
    EXPECT_EQ(w.FindComponent(QStringLiteral("panduck7")), nullptr);
}

TEST_F(ArrangementTest, OutputStripsAndGangedPanels)
{
    TrhTrackBar* faders[] = {w.tbSubLeft, w.tbSubRight, w.tbMasterLeft, w.tbMasterRight};
    QProgressBar* bars[] = {w.pgbSubLeft, w.pgbSubRight, w.pgbMasterLeft, w.pgbMasterRight};
    QLineEdit* edits[] = {w.edSubLeft, w.edSubRight, w.edMasterLeft, w.edMasterRight};
    TPanel* mutes[] = {w.btnSubL, w.btnSubR, w.btnMasterL, w.btnMasterR};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        if (k > 0) {
            EXPECT_GT(R(faders[k]).left(), R(bars[k - 1]).right());
        }
        EXPECT_GT(R(bars[k]).left(), R(faders[k]).right());
        EXPECT_TRUE(Above(R(faders[k]), R(edits[k])));
        EXPECT_TRUE(Above(R(edits[k]), R(mutes[k])));
        // Ungang moves a left mute panel back under the left edit box.
        EXPECT_EQ(R(mutes[k]).left(), R(edits[k]).left());
    }
    struct Pair {
        TPanel* ganged;
        TrhTrackBar* left;
        TrhTrackBar* right;
        TPanel* leftMute;
        TPanel* rightMute;
    };
    const Pair pairs[] = {{w.btnSubGanged, w.tbSubLeft, w.tbSubRight, w.btnSubL, w.btnSubR},
                          {w.btnMasterGanged, w.tbMasterLeft, w.tbMasterRight, w.btnMasterL, w.btnMasterR}};
    for (const Pair& p : pairs) {
        const QRect g = R(p.ganged);
        EXPECT_TRUE(Above(R(p.leftMute), g));
        EXPECT_TRUE(Above(R(p.rightMute), g));
        // Between the two faders: a left mute panel moved to its left edge
        // stands between them, clear of both edit boxes' neighbours.
        EXPECT_GT(g.left(), R(p.left).left());
        EXPECT_LT(g.right(), R(p.right).right());
        QRect moved = R(p.leftMute);
        moved.moveLeft(g.left());
        EXPECT_TRUE(Above(moved, g));
        EXPECT_TRUE(g.left() > R(p.leftMute).left() && g.right() < R(p.rightMute).right());
    }
    EXPECT_TRUE(Above(R(w.Label9), R(w.tbSubLeft)));
    EXPECT_TRUE(SharesColumn(R(w.Label9), R(w.tbSubRight)));
    EXPECT_TRUE(SharesColumn(R(w.Label8), R(w.tbMasterLeft)));
}

TEST_F(ArrangementTest, LineSourceLampsSitUnderTheirButtons)
{
    QPushButton* buttons[] = {w.btnTuner, w.btnType, w.btnCD, w.btnAux, w.btnOff};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const QRect lamp = R(w.LinePanel[i]);
        EXPECT_TRUE(Above(R(buttons[i]), lamp));
        EXPECT_TRUE(lamp.left() >= R(buttons[i]).left() && lamp.right() <= R(buttons[i]).right());
        if (i < 4) {
            EXPECT_TRUE(Above(lamp, R(buttons[i + 1])));
        }
    }
}

TEST_F(ArrangementTest, PreferencesFadersWithTheirEditsUnitsAndEnds)
{
    EXPECT_TRUE(Above(R(w.lblThreadhold), R(w.tbThreshold)));
    EXPECT_TRUE(Above(R(w.tbThreshold), R(w.edThreshold)));
    EXPECT_GT(R(w.Label40).left(), R(w.edThreshold).right());
    EXPECT_TRUE(Above(R(w.lblAttenuation), R(w.tbAttenuation)));
    EXPECT_TRUE(Above(R(w.tbAttenuation), R(w.edAttenuation)));
    EXPECT_GT(R(w.lblstep).left(), R(w.edAttenuation).right());
    EXPECT_GT(R(w.lblMs).left(), R(w.edHoldtime).right());

    struct Row {
        QLabel* caption;
        QLabel* leftEnd;
        TrhTrackBar* fader;
        QLabel* rightEnd;
    };
    const Row rows[] = {{w.lblHoldtime, w.lblshort, w.tbHoldTime, w.lblLong},
                        {w.lblDuckFadeOut, w.lblFast1, w.tbFadeOut, w.lblSlow1},
                        {w.lblDuckFadeIn, w.lblFast2, w.tbFadeIn, w.lblSlow2}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.caption->objectName().toStdString());
        EXPECT_TRUE(Above(R(r.caption), R(r.fader)));
        EXPECT_LT(R(r.leftEnd).right(), R(r.fader).left());
        EXPECT_GT(R(r.rightEnd).left(), R(r.fader).right());
    }
    EXPECT_GT(R(w.Label10).left(), R(w.palActDuck).right());
}

namespace {

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
