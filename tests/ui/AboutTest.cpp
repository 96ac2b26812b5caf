// The About tab: program name, version and the link.
#include "Fmain.h"
#include "UnlURLLabel.h"

#include <QLabel>

#include <gtest/gtest.h>

TEST(About, TabNamesTheVersionAndItsLinkOpensWhatItShows)
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
