// Lookup by composed name (the handlers find their controls so) and the
// About tab.
#include "Colortrackbar.h"
#include "Fmain.h"
#include "Panel.h"
#include "UnlURLLabel.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include <gtest/gtest.h>

TEST(PanelControls, FindControlNeedsTheNameAndTheExactClass)
{
    TfrmMain w;
    auto* derived = new TColorTrackBar(w.tabControl);  // a derived class under a family name is no match
    derived->setObjectName(QStringLiteral("tbMic9"));
    w.AddComponent(derived);
    const struct {
        QObject* found;
        QObject* expected;
    } cases[] = {
        {w.FindControl<TrhTrackBar>("tbMic", 6), w.tbMic[6]}, {w.FindControl<TrhTrackBar>("tbMic", 0), nullptr},
        {w.FindControl<TrhTrackBar>("tbMic", 7), nullptr},    {w.FindControl<TrhTrackBar>("tbMic", 9), nullptr},
        {w.FindControl<TrhTrackBar>("edMic", 3), nullptr},    {w.FindControl<TPanel>("swPreset", 3), w.swPreset[3]},
        {w.FindControl<TPanel>("pgbMic", 2), nullptr},        {w.FindControl<QLineEdit>("edMic", 5), w.edMic[5]},
        {w.FindControl<QSlider>("tbMic", 1), nullptr},  // a base class of the right object
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].found, cases[i].expected) << "row " << i;
    }
    delete derived;
    EXPECT_EQ(w.FindComponent(QStringLiteral("tbMic9")), nullptr) << "a destroyed component is gone";
}

TEST(PanelControls, AboutTabNamesTheVersionAndItsLinkOpensWhatItShows)
{
    TfrmMain w;
    EXPECT_EQ(w.lblProgramName->text(), QStringLiteral("KESTRA Remote Panel"));
    EXPECT_TRUE(w.lblVersion->text().contains(QStringLiteral(KESTRA_TEST_VERSION))) << w.lblVersion->text().toStdString();
    EXPECT_TRUE(w.lblVersion->text().contains(QStringLiteral("2026")));
    QStringList opened;
    const TUnlURLLabel::Opener saved = TUnlURLLabel::UrlOpener();
    TUnlURLLabel::UrlOpener() = [&](const QString& url) { opened << url; };
    w.UnlURLLabel1->Click();
    TUnlURLLabel::UrlOpener() = saved;
    EXPECT_EQ(opened, QStringList{w.UnlURLLabel1->text()});
    EXPECT_EQ(w.UnlURLLabel1->text(), QStringLiteral("https://example.org/kestra-remote-panel"));
}
