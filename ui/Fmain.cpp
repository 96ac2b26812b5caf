// TfrmMain: creation, sizing and the helpers that build controls by the
// window's conventions. The tabs are built in FmainControlTab.cpp,
// FmainPreferencesTab.cpp, FmainComTab.cpp and FmainAboutTab.cpp.
#include "Fmain.h"

#include "Connection.h"
#include "Dispatcher.h"
#include "ControlTag.h"
#include "Dialogs.h"
#include "EditLength.h"
#include "Panel.h"
#include "PanelAccessible.h"
#include "Rhtrack.h"
#include "Settings.h"
#include "StatusBar.h"
#include "TrafficLog.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

namespace {
constexpr int kPageWidth = 748;
constexpr int kPageHeight = 443;
constexpr int kStatusHeight = 31;
constexpr int kMargin = 5;
} // namespace

TfrmMain::TfrmMain(QWidget* parent) : QWidget(parent)
{
    InstallPanelAccessibility();  // before the first panel is made
    LastSent.fill(-1);
    setWindowTitle(QString(14, QLatin1Char(' ')));
    // One fixed pixel size so that the arrangement is the same whatever the
    // screen's resolution setting.
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(kMargin, kMargin, kPageWidth, kPageHeight);
    tabControl = Create<QWidget>(nullptr, "tabControl");
    tabPreferences = Create<QWidget>(nullptr, "tabPreferences");
    tabCOM = Create<QWidget>(nullptr, "tabCOM");
    TabSheet4 = Create<QWidget>(nullptr, "TabSheet4");
    PageControl1->addTab(tabControl, QStringLiteral("Control-Panel"));
    PageControl1->addTab(tabPreferences, QStringLiteral("Preferences"));
    PageControl1->addTab(tabCOM, QStringLiteral("COM"));
    PageControl1->addTab(TabSheet4, QStringLiteral("     ?"));

    sbMain = Create<TStatusBar>(this, "sbMain");
    sbMain->SetPanelWidths({125, 360, 50});
    sbMain->SetStretchPanel(1);  // the message is what needs the room
    sbMain->resize(kPageWidth, kStatusHeight);

    BuildControlTab();
    BuildPreferencesTab();
    BuildComTab();
    BuildAboutTab();

    FormCreate();
    SetUpConnection();
    ConnectHandlers();
    SetUpAdditions();
    ApplyAccessibleNames();
    SetUpTabOrder();
}

TfrmMain::~TfrmMain()
{
    // The controls die after this object's members: stop them reporting back.
    for (QObject* c : components_) {
        disconnect(c, &QObject::destroyed, this, nullptr);
    }
    components_.clear();
}

void TfrmMain::FormCreate()
{
    sbMain->resize(PageControl1->width(), sbMain->height());
    const int w = PageControl1->width() + 10;
    const int h = PageControl1->height() + sbMain->height() + 35;
    resize(w, h);
    setFixedSize(w, h);
    // The status bar lies along the window's bottom edge.
    sbMain->move(kMargin, h - sbMain->height());

    btnDisconnect->setEnabled(false);
}

void TfrmMain::AddComponent(QObject* component)
{
    if (component != nullptr && !components_.contains(component)) {
        components_.push_back(component);
        // A component destroyed before the window must not stay listed.
        connect(component, &QObject::destroyed, this, [this](QObject* gone) { components_.removeAll(gone); });
    }
}

QLabel* TfrmMain::NewLabel(QWidget* parent, const char* name, const QString& caption, const QRect& geometry,
                           Qt::Alignment align)
{
    auto* label = Create<QLabel>(parent, name);
    label->setTextFormat(Qt::PlainText);
    label->setText(caption);
    label->setAlignment(align);
    label->setGeometry(geometry);
    return label;
}

QPushButton* TfrmMain::NewButton(QWidget* parent, const char* name, int tag, const QString& caption,
                                 const QRect& geometry)
{
    auto* button = Create<QPushButton>(parent, name, tag);
    button->setText(caption);
    button->setGeometry(geometry);
    return button;
}

TrhTrackBar* TfrmMain::NewFader(QWidget* parent, const char* name, int tag, const QRect& geometry)
{
    auto* fader = Create<TrhTrackBar>(parent, name, tag);
    fader->SetEnableRange(false);
    fader->setGeometry(geometry);
    return fader;
}

QProgressBar* TfrmMain::NewLevelBar(QWidget* parent, const char* name, int tag, const QRect& geometry)
{
    auto* bar = Create<QProgressBar>(parent, name, tag);
    bar->setOrientation(Qt::Vertical);
    bar->setRange(0, 79);
    bar->setValue(79);
    bar->setTextVisible(false);
    bar->setGeometry(geometry);
    return bar;
}

QLineEdit* TfrmMain::NewEdit(QWidget* parent, const char* name, int tag, int maxLength, const QString& text,
                             const QRect& geometry)
{
    auto* edit = Create<QLineEdit>(parent, name, tag);
    edit->setText(text);
    SetMaxLength(edit, maxLength);
    edit->setGeometry(geometry);
    return edit;
}

TPanel* TfrmMain::NewLatch(QWidget* parent, const char* name, int tag, const QString& caption,
                           const QRect& geometry)
{
    auto* panel = Create<TPanel>(parent, name, tag);
    panel->SetCaption(caption);
    SetPressed(panel, false);
    panel->setGeometry(geometry);
    return panel;
}

TPanel* TfrmMain::NewIndicator(QWidget* parent, const char* name, TColor color, const QPoint& at)
{
    auto* panel = Create<TPanel>(parent, name);
    MakeIndicator(panel, color);
    panel->move(at);
    return panel;
}

QComboBox* TfrmMain::NewCombo(QWidget* parent, const char* name, const QStringList& items, const QRect& geometry)
{
    auto* combo = Create<QComboBox>(parent, name);
    combo->addItems(items);
    combo->setCurrentIndex(0);
    combo->setGeometry(geometry);
    return combo;
}

QGroupBox* TfrmMain::NewGroup(QWidget* parent, const char* name, const QString& caption, const QRect& geometry)
{
    auto* group = Create<QGroupBox>(parent, name);
    group->setTitle(caption);
    group->setGeometry(geometry);
    return group;
}
