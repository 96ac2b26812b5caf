// Lookup by composed name (the handlers find their controls so) and the
// About tab's version.
#include "Colortrackbar.h"
#include "Fmain.h"
#include "Panel.h"
#include "Rhtrack.h"
#include "StatusBar.h"
#include "UnlURLLabel.h"

#include <QLabel>
#include <QLineEdit>
#include <QToolTip>
#include <QProgressBar>

#include <gtest/gtest.h>

TEST(PanelControlsTest, FindControlNeedsTheNameAndTheExactClass)
{
    TfrmMain w;
    // A derived class under a family name is no match either.
    auto* derived = new TColorTrackBar(w.tabControl);
    derived->setObjectName(QStringLiteral("tbMic9"));
    w.AddComponent(derived);

    struct Case {
        const char* prefix;
        int n;
        QObject* expected;
    };
    const Case asFader[] = {
        {"tbMic", 1, w.tbMic[1]}, {"tbMic", 6, w.tbMic[6]}, {"tbMic", 0, nullptr},
        {"tbMic", 7, nullptr},    {"tbMic", -1, nullptr},   {"edMic", 3, nullptr}, // wrong class
        {"tbMic", 9, nullptr}, // derived class
        {"Panel", 1, nullptr},
    };
    for (const Case& c : asFader) {
        EXPECT_EQ(w.FindControl<TrhTrackBar>(QString::fromLatin1(c.prefix), c.n), c.expected) << c.prefix << c.n;
    }
    const Case asPanel[] = {
        {"Panel", 4, w.Panel[4]},     {"btnduck", 6, w.btnduck[6]}, {"panduck", 1, w.panduck[1]},
        {"swPreset", 3, w.swPreset[3]}, {"swPreset", 4, nullptr},     {"pgbMic", 2, nullptr},
    };
    for (const Case& c : asPanel) {
        EXPECT_EQ(w.FindControl<TPanel>(QString::fromLatin1(c.prefix), c.n), c.expected) << c.prefix << c.n;
    }
    EXPECT_EQ(w.FindControl<QProgressBar>(QStringLiteral("pgbMic"), 2), w.pgbMic[2]);
    EXPECT_EQ(w.FindControl<QLineEdit>(QStringLiteral("edMic"), 5), w.edMic[5]);
    // The base class of the right object is no match: the test is exact.
    EXPECT_EQ(w.FindControl<QSlider>(QStringLiteral("tbMic"), 1), nullptr);
    EXPECT_EQ(w.FindControl<QFrame>(QStringLiteral("Panel"), 1), nullptr);

    // A destroyed component is gone from the lookup.
    delete derived;
    EXPECT_EQ(w.FindComponent(QStringLiteral("tbMic9")), nullptr);
}

TEST(PanelControlsTest, AboutTabNamesTheProgramVersionAndYear)
{
    TfrmMain w;
    EXPECT_EQ(w.lblProgramName->text(), QStringLiteral("KESTRA Remote Panel"));
    EXPECT_TRUE(w.lblVersion->text().contains(QStringLiteral(KESTRA_TEST_VERSION))) << w.lblVersion->text().toStdString();
    EXPECT_TRUE(w.lblVersion->text().contains(QStringLiteral("2026")));
}

TEST(PanelControlsTest, AboutLinkOpensWhatItShows)
{
    TfrmMain w;
    QStringList opened;
    const TUnlURLLabel::Opener saved = TUnlURLLabel::UrlOpener();
    TUnlURLLabel::UrlOpener() = [&](const QString& url) { opened << url; };
    QTest::mouseClick(w.UnlURLLabel1, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::keyClick(w.UnlURLLabel1, Qt::Key_Space);
    TUnlURLLabel::UrlOpener() = saved;

    EXPECT_EQ(opened, QStringList(2, QStringLiteral("https://example.org/kestra-remote-panel")));
    EXPECT_EQ(w.UnlURLLabel1->URL(), w.UnlURLLabel1->text());
}
