// The window's control inventory as one table: name, exact class, tag and the
// initial state each control must have before anything is connected.
#include "Colors.h"
#include "EditLength.h"
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
#include <QTabWidget>

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <vector>

namespace {

struct Fader {
    int min, max, position, frequency;
    Qt::Orientation orientation;
    QSlider::TickPosition ticks;
};

struct Expect {
    QString name = {};
    const QMetaObject* cls = nullptr;
    int tag = 0;
    std::optional<QString> text = {}; // caption, text or title
    std::optional<Fader> fader = {};
    bool levelBar = false; // vertical, 0..79, full
    std::optional<int> maxLength = {};
    std::optional<bool> pressed = {}; // latching panel
    std::optional<TColor> lamp = {}; // indicator colour
    QStringList items = {};
    int itemIndex = -1;
    bool visible = true;
    bool enabled = true;
};

const QMetaObject* const kButton = &QPushButton::staticMetaObject;
const QMetaObject* const kLabel = &QLabel::staticMetaObject;
const QMetaObject* const kEdit = &QLineEdit::staticMetaObject;
const QMetaObject* const kCombo = &QComboBox::staticMetaObject;
const QMetaObject* const kGroup = &QGroupBox::staticMetaObject;
const QMetaObject* const kBar = &QProgressBar::staticMetaObject;
const QMetaObject* const kTrack = &TrhTrackBar::staticMetaObject;
const QMetaObject* const kPanel = &TPanel::staticMetaObject;
const QMetaObject* const kRadioGroup = &TRadioGroup::staticMetaObject;

const Fader kGain{0, 79, 0, 5, Qt::Vertical, QSlider::TicksBothSides};

QString N(const char* prefix, int n) { return QString::fromLatin1(prefix) + QString::number(n); }

std::vector<Expect> Inventory()
{
    std::vector<Expect> t = {
        // Control-Panel tab: line source
        {.name = "GroupBox1", .cls = kGroup, .text = "Line"},
        {.name = "btnTuner", .cls = kButton, .tag = 1, .text = "Tuner"},
        {.name = "btnType", .cls = kButton, .tag = 2, .text = "Tape"},
        {.name = "btnCD", .cls = kButton, .tag = 3, .text = "CD"},
        {.name = "btnAux", .cls = kButton, .tag = 4, .text = "Aux"},
        {.name = "btnOff", .cls = kButton, .tag = 0, .text = "off"},
        {.name = "gbInput", .cls = kGroup, .text = "Input"},
        {.name = "Label7", .cls = kLabel, .text = "Line"},
        {.name = "tbLine", .cls = kTrack, .tag = 0, .fader = kGain},
        {.name = "pgbLine", .cls = kBar, .tag = 7, .levelBar = true},
        {.name = "edLine", .cls = kEdit, .tag = 7, .text = "0dB ", .maxLength = 6},
        {.name = "btnLine", .cls = kPanel, .tag = 7, .text = "mute", .pressed = false},
        {.name = "gbPreset", .cls = kGroup, .text = "Preset"},
        {.name = "cbPresetNo", .cls = kCombo, .items = {"1", "2", "3"}, .itemIndex = 0},
        {.name = "btnLoad", .cls = kButton, .tag = 0, .text = "load"},
        {.name = "btnSave", .cls = kButton, .tag = 1, .text = "save"},
        {.name = "GroupBox4", .cls = kGroup, .text = ""},
        {.name = "panMaunduck", .cls = kPanel, .text = "", .pressed = false},
        {.name = "lblManual", .cls = kLabel, .text = "Manual"},
        {.name = "Label48", .cls = kLabel, .text = "Ducking"},
        {.name = "gbOutput", .cls = kGroup, .text = "Output"},
        {.name = "Label9", .cls = kLabel, .text = "Sub"},
        {.name = "Label8", .cls = kLabel, .text = "Master"},
        {.name = "btnSubGanged", .cls = kPanel, .tag = 1, .text = "ganged", .pressed = false},
        {.name = "btnMasterGanged", .cls = kPanel, .tag = 2, .text = "ganged", .pressed = false},

        // Preferences tab
        {.name = "GroupBox6", .cls = kGroup, .text = "Ducking"},
        {.name = "tbThreshold", .cls = kTrack, .fader = Fader{2, 127, 127, 8, Qt::Vertical, QSlider::TicksBothSides}},
        {.name = "edThreshold", .cls = kEdit, .tag = 1, .text = "43", .maxLength = 5},
        {.name = "tbAttenuation", .cls = kTrack, .fader = Fader{0, 79, 0, 8, Qt::Vertical, QSlider::TicksBothSides}},
        {.name = "edAttenuation", .cls = kEdit, .tag = 2, .text = "0", .maxLength = 5},
        {.name = "tbHoldTime", .cls = kTrack, .fader = Fader{1, 100, 1, 10, Qt::Horizontal, QSlider::TicksBelow}},
        {.name = "edHoldtime", .cls = kEdit, .tag = 3, .text = "10", .maxLength = 5},
        {.name = "tbFadeOut", .cls = kTrack, .fader = Fader{0, 63, 0, 8, Qt::Horizontal, QSlider::TicksBelow}},
        {.name = "tbFadeIn", .cls = kTrack, .fader = Fader{0, 63, 0, 8, Qt::Horizontal, QSlider::TicksBelow}},
        {.name = "palActDuck", .cls = kPanel, .lamp = clOlive},
        {.name = "lblThreadhold", .cls = kLabel, .text = "Threshold"},
        {.name = "Label40", .cls = kLabel, .text = "mV"},
        {.name = "lblAttenuation", .cls = kLabel, .text = "Attenuation"},
        {.name = "lblstep", .cls = kLabel, .text = "step"},
        {.name = "lblHoldtime", .cls = kLabel, .text = "hold time"},
        {.name = "lblMs", .cls = kLabel, .text = "ms"},
        {.name = "lblshort", .cls = kLabel, .text = "short"},
        {.name = "lblLong", .cls = kLabel, .text = "long"},
        {.name = "lblDuckFadeOut", .cls = kLabel, .text = "Fade Out"},
        {.name = "lblDuckFadeIn", .cls = kLabel, .text = "Fade In"},
        {.name = "lblFast1", .cls = kLabel, .text = "fast"},
        {.name = "lblFast2", .cls = kLabel, .text = "fast"},
        {.name = "lblSlow1", .cls = kLabel, .text = "slow"},
        {.name = "lblSlow2", .cls = kLabel, .text = "slow"},
        {.name = "Label10", .cls = kLabel, .text = "Ducking Active"},

        // COM tab
        {.name = "Label27", .cls = kLabel, .text = "Port "},
        {.name = "cbCOM", .cls = kCombo, .items = {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"},
         .itemIndex = 0},
        {.name = "lblSpeed", .cls = kLabel, .text = "Speed"},
        {.name = "cbBaudRate", .cls = kCombo, .items = {"9600", "115200"}, .itemIndex = 0, .enabled = false},
        {.name = "btnConnect", .cls = kButton, .text = "connect"},
        {.name = "btnDisconnect", .cls = kButton, .text = "disconnect", .enabled = false},
        {.name = "btnViewmessages", .cls = kButton, .text = "view message"},
        {.name = "Button1", .cls = kButton, .text = "clear", .visible = false},
        {.name = "gbRs232Format", .cls = kGroup, .text = "Format", .enabled = false},
        {.name = "cbDataBit", .cls = kCombo, .items = {"8"}, .itemIndex = 0, .enabled = false},
        {.name = "cbParity", .cls = kCombo, .items = {"none"}, .itemIndex = 0, .enabled = false},
        {.name = "cbStopBits", .cls = kCombo, .items = {"1"}, .itemIndex = 0, .enabled = false},
        {.name = "lblDataBit", .cls = kLabel, .text = "Data bits", .enabled = false},
        {.name = "lblParity", .cls = kLabel, .text = "Parity", .enabled = false},
        {.name = "lblStopBits", .cls = kLabel, .text = "Stop bits", .enabled = false},
        {.name = "rgProtocol", .cls = kRadioGroup, .text = "Protocol", .items = {"none", "Xon/Xoff", "RTS", "Xon/RTS"},
         .itemIndex = 0, .enabled = false},
        {.name = "gbswitchon", .cls = kGroup, .text = "switch-on state"},
        {.name = "lblPreset", .cls = kLabel, .text = "preset:"},
        {.name = "swOff", .cls = kPanel, .tag = 0, .text = "as switched off", .pressed = true},
        {.name = "btnFactory", .cls = kButton, .text = "load factory default"},
        {.name = "rdgLanguage", .cls = kRadioGroup, .text = "Language", .items = {"German", "English"}, .itemIndex = 1},

        // About tab
        {.name = "UnlURLLabel1", .cls = &TUnlURLLabel::staticMetaObject,
         .text = "https://example.org/kestra-remote-panel"},
        {.name = "btnUpdate", .cls = kButton, .text = "Update", .visible = false},
        {.name = "btnUpdate2", .cls = kButton, .text = "Update2 ", .visible = false},
    };
    for (int n = 1; n <= 6; ++n) {
        t.push_back({.name = N("Label", n), .cls = kLabel, .text = QStringLiteral("MIC %1").arg(n)});
        t.push_back({.name = N("tbMic", n), .cls = kTrack, .tag = n, .fader = kGain});
        t.push_back({.name = N("pgbMic", n), .cls = kBar, .tag = n, .levelBar = true});
        t.push_back({.name = N("edMic", n), .cls = kEdit, .tag = n, .text = "0dB ", .maxLength = 6});
        t.push_back({.name = N("Panel", n), .cls = kPanel, .tag = n, .text = "mute", .pressed = false});
        t.push_back({.name = N("btnduck", n), .cls = kPanel, .tag = n, .text = "prior", .pressed = false});
        t.push_back({.name = N("panduck", n), .cls = kPanel, .lamp = clOlive});
    }
    for (int n = 0; n <= 4; ++n) {
        t.push_back({.name = N("LinePanel", n), .cls = kPanel, .lamp = clGreen});
    }
    const char* const outputs[][4] = {{"tbSubLeft", "pgbSubLeft", "edSubLeft", "btnSubL"},
                                      {"tbSubRight", "pgbSubRight", "edSubRight", "btnSubR"},
                                      {"tbMasterLeft", "pgbMasterLeft", "edMasterLeft", "btnMasterL"},
                                      {"tbMasterRight", "pgbMasterRight", "edMasterRight", "btnMasterR"}};
    for (int k = 1; k <= 4; ++k) {
        const auto& o = outputs[k - 1];
        t.push_back({.name = o[0], .cls = kTrack, .tag = k, .fader = kGain});
        t.push_back({.name = o[1], .cls = kBar, .tag = k, .levelBar = true});
        t.push_back({.name = o[2], .cls = kEdit, .tag = k + 7, .text = "0dB ", .maxLength = 6});
        t.push_back({.name = o[3], .cls = kPanel, .tag = k, .text = "mute", .pressed = false});
    }
    for (int n = 1; n <= 3; ++n) {
        t.push_back({.name = N("swPreset", n), .cls = kPanel, .tag = n, .text = QString::number(n), .pressed = false});
    }
    return t;
}

QString TextOf(QObject* c)
{
    if (auto* w = qobject_cast<QLabel*>(c)) return w->text();
    if (auto* w = qobject_cast<QPushButton*>(c)) return w->text();
    if (auto* w = qobject_cast<QLineEdit*>(c)) return w->text();
    if (auto* w = qobject_cast<QGroupBox*>(c)) return w->title();
    if (auto* w = qobject_cast<TPanel*>(c)) return w->Caption();
    return QStringLiteral("<no text>");
}

QStringList ItemsOf(QObject* c, int* index)
{
    if (auto* combo = qobject_cast<QComboBox*>(c)) {
        QStringList out;
        for (int i = 0; i < combo->count(); ++i) out << combo->itemText(i);
        *index = combo->currentIndex();
        return out;
    }
    if (auto* group = qobject_cast<TRadioGroup*>(c)) {
        *index = group->ItemIndex();
        return group->Items();
    }
    *index = -2;
    return {};
}

} // namespace

TEST(InventoryTest, EveryControlHasItsClassTagAndInitialState)
{
    TfrmMain w;
    std::set<QString> seen;
    for (const Expect& e : Inventory()) {
        SCOPED_TRACE(e.name.toStdString());
        ASSERT_TRUE(seen.insert(e.name).second) << "listed twice in the test table";
        QObject* c = w.FindComponent(e.name);
        ASSERT_NE(c, nullptr) << "missing";
        EXPECT_EQ(c->metaObject(), e.cls) << "is a " << c->metaObject()->className();
        EXPECT_EQ(Tag(c), e.tag);
        auto* widget = qobject_cast<QWidget*>(c);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(!widget->isHidden(), e.visible);
        EXPECT_EQ(widget->isEnabled(), e.enabled);
        if (e.text) {
            const QString actual = e.cls == kRadioGroup ? static_cast<TRadioGroup*>(c)->Caption() : TextOf(c);
            EXPECT_EQ(actual, *e.text);
        }
        if (e.fader) {
            auto* f = static_cast<TrhTrackBar*>(c);
            EXPECT_EQ(f->Min(), e.fader->min);
            EXPECT_EQ(f->Max(), e.fader->max);
            EXPECT_EQ(f->Position(), e.fader->position);
            EXPECT_EQ(f->Frequency(), e.fader->frequency);
            EXPECT_EQ(f->Orientation(), e.fader->orientation);
            EXPECT_EQ(f->tickPosition(), e.fader->ticks);
            EXPECT_FALSE(f->EnableRange());
            // The minimum (0 dB for a gain fader) is at the top of a vertical fader.
            EXPECT_EQ(f->invertedAppearance(), e.fader->orientation == Qt::Vertical);
        }
        if (e.levelBar) {
            auto* b = static_cast<QProgressBar*>(c);
            EXPECT_EQ(b->orientation(), Qt::Vertical);
            EXPECT_EQ(b->minimum(), 0);
            EXPECT_EQ(b->maximum(), 79);
            EXPECT_EQ(b->value(), 79);
            EXPECT_FALSE(b->invertedAppearance()) << "a level bar fills from the bottom";
        }
        if (e.maxLength) {
            EXPECT_EQ(MaxLength(static_cast<QLineEdit*>(c)), *e.maxLength);
        }
        if (e.pressed) {
            auto* p = static_cast<TPanel*>(c);
            EXPECT_EQ(IsPressed(p), *e.pressed);
            EXPECT_EQ(p->BevelOuter(), p->BevelInner()) << "a latching panel moves both bevels";
        }
        if (e.lamp) {
            auto* p = static_cast<TPanel*>(c);
            EXPECT_EQ(p->Color(), *e.lamp);
            EXPECT_EQ(p->size(), QSize(20, 8));
            EXPECT_EQ(p->BevelInner(), bvLowered);
            EXPECT_EQ(p->BevelOuter(), bvLowered);
            EXPECT_TRUE(p->Caption().isEmpty());
        }
        if (!e.items.isEmpty()) {
            int index = -1;
            EXPECT_EQ(ItemsOf(c, &index), e.items);
            EXPECT_EQ(index, e.itemIndex);
        }
    }

    // The families the handlers count on are complete and nothing else
    // slipped in as one of them.
    const auto count = [&](const QMetaObject* cls) {
        int n = 0;
        for (QObject* c : w.Components()) n += c->metaObject() == cls ? 1 : 0;
        return n;
    };
    EXPECT_EQ(count(kTrack), 16);
    EXPECT_EQ(count(kBar), 12); // eleven level bars and the update progress bar
    EXPECT_EQ(count(kEdit), 14);
    EXPECT_EQ(count(kPanel), 6 * 3 + 1 + 5 + 4 + 2 + 1 + 1 + 4);
}

TEST(InventoryTest, NamesAreUniqueAndMembersMatchTheirNames)
{
    TfrmMain w;
    std::set<QString> names;
    for (QObject* c : w.Components()) {
        EXPECT_FALSE(c->objectName().isEmpty());
        EXPECT_TRUE(names.insert(c->objectName()).second) << c->objectName().toStdString();
    }
    for (int n = 1; n <= 6; ++n) {
        EXPECT_EQ(w.tbMic[n], w.FindComponent(N("tbMic", n)));
        EXPECT_EQ(w.pgbMic[n], w.FindComponent(N("pgbMic", n)));
        EXPECT_EQ(w.edMic[n], w.FindComponent(N("edMic", n)));
        EXPECT_EQ(w.Panel[n], w.FindComponent(N("Panel", n)));
        EXPECT_EQ(w.btnduck[n], w.FindComponent(N("btnduck", n)));
        EXPECT_EQ(w.panduck[n], w.FindComponent(N("panduck", n)));
    }
    EXPECT_EQ(w.tbMic[0], nullptr);
    for (int n = 0; n <= 4; ++n) {
        EXPECT_EQ(w.LinePanel[n], w.FindComponent(N("LinePanel", n)));
    }
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(w.swPreset[n], w.FindComponent(N("swPreset", n)));
    }
    EXPECT_EQ(w.swPreset[0], nullptr);
}

TEST(InventoryTest, WindowFrameAndFields)
{
    TfrmMain w;
    EXPECT_EQ(w.windowTitle(), QString(14, QLatin1Char(' ')));
    EXPECT_EQ(w.size(), QSize(758, 509));
    EXPECT_EQ(w.PageControl1->size(), QSize(748, 443));
    EXPECT_EQ(w.sbMain->size(), QSize(748, 31));
    EXPECT_EQ(w.sbMain->geometry().bottom(), w.height() - 1) << "the status bar lies along the bottom";
    EXPECT_GT(w.sbMain->y(), w.PageControl1->geometry().bottom());

    const QStringList tabs = {"Control-Panel", "Preferences", "COM", "     ?"};
    QWidget* const pages[] = {w.tabControl, w.tabPreferences, w.tabCOM, w.TabSheet4};
    ASSERT_EQ(w.PageControl1->count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(w.PageControl1->widget(i), pages[i]);
        EXPECT_EQ(w.PageControl1->tabText(i), tabs[i]);
    }

    ASSERT_EQ(w.sbMain->PanelCount(), 3);
    EXPECT_EQ(w.sbMain->PanelWidth(0), 125);
    EXPECT_EQ(w.sbMain->PanelWidth(1), 360);
    EXPECT_EQ(w.sbMain->PanelWidth(2), 50);
    EXPECT_FALSE(w.sbMain->SimplePanel());

    EXPECT_EQ(w.Comm, nullptr);
    EXPECT_FALSE(w.Connected());
    EXPECT_EQ(w.PortNo, 1);
    EXPECT_FALSE(w.UpdateMode);
    EXPECT_FALSE(w.DuckingActive);
    EXPECT_FALSE(w.SubGanged);
    EXPECT_FALSE(w.MasterGanged);
    EXPECT_EQ(w.SubGangedOffset, 0);
    EXPECT_EQ(w.MasterGangedOffset, 0);
    for (int i = 0; i < kLastSentCount; ++i) {
        EXPECT_EQ(w.LastSent[static_cast<std::size_t>(i)], -1) << i;
    }

    EXPECT_EQ(w.suiProgressBar1->minimum(), 0);
    EXPECT_EQ(w.suiProgressBar1->maximum(), 100);
    EXPECT_TRUE(w.suiProgressBar1->isHidden());
}
