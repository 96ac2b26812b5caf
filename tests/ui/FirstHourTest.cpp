// What a new user meets first: the search for the KESTRA on the COM tab, the
// window's name and icon on the desktop, and a start without a display.
#include "AppIdentity.h"
#include "Connection.h"
#include "KestraVersion.h"
#include "LCommProc.h"
#include "PanelFixture.h"
#include "PortChoice.h"
#include "PortSearch.h"
#include "PtyPeer.h"
#include "WaitFor.h"

#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QListWidget>
#include <QPushButton>
#include <QUrl>

#include <map>

using Search = PanelFixture;

// The search runs beside the window, finds the simulator among silent ports
// and takes it as the window's port.
TEST_F(Search, FindsTheKestraWithoutBlockingTheWindowAndChoosesIt)
{
    StartDevice();
    BuildWindow();
    PtyPeer silent1, silent2;
    const QString device = QString::fromStdString(device_->Path());
    const QString canonical = QFileInfo(device).canonicalFilePath();
    PortSearch& search = *w_->Search();
    search.SetCandidates([&](QStringList* labels) {
        *labels = {"COM1 (silent)", "kestra", "COM2 (silent)"};
        return QStringList{QString::fromStdString(silent1.Path()), canonical, QString::fromStdString(silent2.Path())};
    });
    StallMeter stalls;
    QTest::mouseClick(search.btnSearch, Qt::LeftButton);
    EXPECT_FALSE(search.btnSearch->isEnabled()) << "one search at a time";
    ASSERT_TRUE(WaitFor([&] { return search.Searches() == 1; }, 5000));
    EXPECT_LT(stalls.LongestMs(), 300) << "the window kept running";
    ASSERT_EQ(search.lstFound->count(), 1);
    EXPECT_TRUE(search.lstFound->item(0)->text().startsWith("kestra  (")) << search.lstFound->item(0)->text().toStdString();
    EXPECT_EQ(w_->Device().Port().name, canonical);
    EXPECT_EQ(Status(1), "KESTRA found on kestra");
    EXPECT_TRUE(search.btnSearch->isEnabled());
    EXPECT_EQ(device_->Received(), std::vector<ByteVector>{LCommProc::PollFrame()});
}

TEST(AppIdentity, NamesItselfAsTheDesktopEntryDoes)
{
    SetUpAppIdentity();
    EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral(KESTRA_APP_ID));
    EXPECT_FALSE(QApplication::windowIcon().isNull());
    EXPECT_FALSE(QApplication::windowIcon().pixmap(48).isNull()) << "the built-in icon where no theme has one";
    QFile entry(QStringLiteral(KESTRA_DESKTOP_ENTRY));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains("\nStartupWMClass=" + QByteArray(kAppName) + "\n"));
    // The About tab's link leads to the program's own README, which is there.
    const QUrl readme(ReadmeUrl());
    EXPECT_TRUE(readme.isLocalFile() && readme.fileName() == "README.md" && QFileInfo::exists(readme.toLocalFile()))
        << readme.toString().toStdString();
}

TEST(AppIdentity, SaysWhichDisplayIsMissing)
{
    // missing: "" when the start may go on
    const struct { std::map<std::string, QString> env; const char* missing; } cases[] = {
        {{}, "neither DISPLAY (X11) nor WAYLAND_DISPLAY (Wayland) is set"},
        {{{"DISPLAY", ":0"}}, ""},
        {{{"WAYLAND_DISPLAY", "wayland-0"}}, ""},
        {{{"QT_QPA_PLATFORM", "offscreen"}}, ""},
        {{{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "wayland-0"}}, "QT_QPA_PLATFORM is xcb, but DISPLAY"},
        {{{"QT_QPA_PLATFORM", "wayland"}, {"DISPLAY", ":0"}}, "QT_QPA_PLATFORM is wayland, but WAYLAND_DISPLAY"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.missing);
        const QString said = MissingDisplay([&c](const char* name) {
            const auto it = c.env.find(name);
            return it == c.env.end() ? QString() : it->second;
        });
        EXPECT_EQ(said.isEmpty(), *c.missing == '\0') << said.toStdString();
        EXPECT_TRUE(said.contains(QLatin1String(c.missing)));
    }
}
