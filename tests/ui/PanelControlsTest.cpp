// Lookup by composed name, switching the panel with the connection, hints,
// status texts and the About tab's link.
#include "Colortrackbar.h"
#include "Fmain.h"
#include "Panel.h"
#include "RadioGroup.h"
#include "Rhtrack.h"
#include "StatusBar.h"
#include "UnlURLLabel.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolTip>

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

namespace {

bool IsSwitchedClass(const QObject* c)
{
    const QMetaObject* m = c->metaObject();
    return m == &QPushButton::staticMetaObject || m == &QComboBox::staticMetaObject
        || m == &QLineEdit::staticMetaObject || m == &QLabel::staticMetaObject
        || m == &TrhTrackBar::staticMetaObject || m == &QRadioButton::staticMetaObject
        || m == &TPanel::staticMetaObject;
}

// The control's own enabled flag, whatever its parents say.
bool OwnEnabled(const QObject* c)
{
    return !static_cast<const QWidget*>(c)->testAttribute(Qt::WA_ForceDisabled);
}

struct Fixture {
    TfrmMain w;
    TColorTrackBar* derivedFader;
    QRadioButton* plainRadio;
    Fixture()
    {
        derivedFader = new TColorTrackBar(w.tabControl);
        derivedFader->setObjectName(QStringLiteral("tbExtra"));
        derivedFader->hide();
        w.AddComponent(derivedFader);
        plainRadio = new QRadioButton(w.tabCOM);
        plainRadio->setObjectName(QStringLiteral("rbExtra"));
        plainRadio->hide();
        w.AddComponent(plainRadio);
    }
    // Controls the two operations must never touch.
    QList<QWidget*> Untouchable() const
    {
        QList<QWidget*> out = {derivedFader, w.UnlURLLabel1, w.rdgLanguage, w.rgProtocol, w.gbInput,
                               w.GroupBox6, w.gbswitchon, w.pgbLine, w.suiProgressBar1, w.tabCOM,
                               w.sbMain, w.rdgLanguage->Button(0), w.rdgLanguage->Button(1)};
        for (int n = 1; n <= 6; ++n) out << w.pgbMic[n];
        return out;
    }
};

} // namespace

TEST(PanelControlsTest, DisableSwitchesExactClassesOnly)
{
    Fixture f;
    // Flip the untouchables so that any switching would show.
    for (QWidget* u : f.Untouchable()) u->setEnabled(false);
    f.w.rdgLanguage->Button(0)->setEnabled(true);
    f.w.EnablePanelControls();
    for (QWidget* u : f.Untouchable()) {
        const bool expected = u == f.w.rdgLanguage->Button(0);
        EXPECT_EQ(OwnEnabled(u), expected) << u->objectName().toStdString() << " was switched on";
    }

    for (QWidget* u : f.Untouchable()) u->setEnabled(true);
    f.w.DisablePanelControls();
    for (QWidget* u : f.Untouchable()) {
        EXPECT_TRUE(OwnEnabled(u)) << u->objectName().toStdString() << " was switched off";
    }

    const QSet<QObject*> stayOn = {f.w.cbCOM, f.w.btnConnect, f.w.btnUpdate, f.w.btnUpdate2};
    int switched = 0;
    for (QObject* c : f.w.Components()) {
        if (!IsSwitchedClass(c)) continue;
        ++switched;
        EXPECT_EQ(OwnEnabled(c), stayOn.contains(c)) << c->objectName().toStdString();
    }
    EXPECT_GT(switched, 100);
    EXPECT_FALSE(OwnEnabled(f.plainRadio));
    EXPECT_FALSE(OwnEnabled(f.w.btnViewmessages));
    EXPECT_FALSE(OwnEnabled(f.w.tbMic[3]));
    EXPECT_FALSE(OwnEnabled(f.w.lblManual));
}

TEST(PanelControlsTest, EnableSwitchesExactClassesAndKeepsTheFixedFormatOff)
{
    Fixture f;
    f.w.DisablePanelControls();
    for (QWidget* u : f.Untouchable()) u->setEnabled(false);
    f.w.EnablePanelControls();
    for (QWidget* u : f.Untouchable()) {
        EXPECT_FALSE(OwnEnabled(u)) << u->objectName().toStdString() << " was switched on";
    }
    const QSet<QObject*> stayOff = {f.w.cbDataBit, f.w.cbParity, f.w.cbStopBits, f.w.cbBaudRate};
    for (QObject* c : f.w.Components()) {
        if (!IsSwitchedClass(c)) continue;
        EXPECT_EQ(OwnEnabled(c), !stayOff.contains(c)) << c->objectName().toStdString();
    }
    EXPECT_TRUE(OwnEnabled(f.plainRadio));
    // Hidden controls stay hidden; switching is not showing.
    EXPECT_TRUE(f.w.Button1->isHidden());
    EXPECT_TRUE(f.w.btnUpdate->isHidden());
}

TEST(PanelControlsTest, FaderHintFollowsTheText)
{
    TfrmMain w;
    w.RefreshFaderHint(w.tbMic[2], QStringLiteral("-12.5"));
    EXPECT_EQ(w.tbMic[2]->toolTip(), QStringLiteral("-12.5"));
    w.RefreshFaderHint(w.tbMic[2], QStringLiteral("mute"));
    EXPECT_EQ(w.tbMic[2]->toolTip(), QStringLiteral("mute"));
    EXPECT_TRUE(w.tbMic[1]->toolTip().isEmpty());
}

TEST(PanelControlsTest, StatusTextsGoToTheirPanels)
{
    TfrmMain w;
    w.ShowConnectionState(QStringLiteral("COM2 connected"));
    w.ShowMessage(QStringLiteral("-ACK- (12)"));
    EXPECT_EQ(w.sbMain->PanelText(0), QStringLiteral("COM2 connected"));
    EXPECT_EQ(w.sbMain->PanelText(1), QStringLiteral("-ACK- (12)"));
    EXPECT_TRUE(w.sbMain->PanelText(2).isEmpty());
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

TEST(PanelControlsTest, AboutTabNamesTheProgramVersionAndYear)
{
    TfrmMain w;
    EXPECT_EQ(w.lblProgramName->text(), QStringLiteral("KESTRA Remote Panel"));
    EXPECT_TRUE(w.lblVersion->text().contains(QStringLiteral(KESTRA_TEST_VERSION))) << w.lblVersion->text().toStdString();
    EXPECT_TRUE(w.lblVersion->text().contains(QStringLiteral("2026")));
}
