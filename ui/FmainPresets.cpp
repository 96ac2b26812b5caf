// Presets in the device, its switch-on setting and the factory default.
#include "Fmain.h"

#include "Commands.h"
#include "ControlTag.h"
#include "Dialogs.h"
#include "Language.h"
#include "Panel.h"

#include <QComboBox>
#include <QPushButton>

namespace {
// The switch-on panel whose command went out last, for the whole program;
// -1 until the first click, so that the first click always sends.
int g_switchOnSelection = -1;

constexpr int kIdWarning = 30128;
constexpr int kIdFactoryQuestion = 30129;
constexpr int kIdCancel = 30047;
}  // namespace

int TfrmMain::SwitchOnSelection()
{
    return g_switchOnSelection;
}

void TfrmMain::ResetSwitchOnSelection()
{
    g_switchOnSelection = -1;
}

void TfrmMain::btnLoadClick(QPushButton* button)
{
    const auto preset = static_cast<std::uint8_t>(cbPresetNo->currentIndex() + 1);
    const auto selector = static_cast<std::uint8_t>(Tag(button));
    SendCommand(CM_MCS_SAVELOAD(preset, selector), 1);
    if (selector == 0) {
        RequestFullState();
    }
}

void TfrmMain::swPreset1Click(TPanel* panel)
{
    const int tag = Tag(panel);
    if (tag == g_switchOnSelection) {
        // Same choice again: only the look toggles; nothing is sent.
        SetPressed(panel, !IsPressed(panel));
        return;
    }
    g_switchOnSelection = tag;
    TPanel* all[] = {swOff, swPreset[1], swPreset[2], swPreset[3]};
    for (TPanel* p : all) {
        SetPressed(p, p == panel);
    }
    SendCommand(CM_MCS_SWITCH(static_cast<std::uint8_t>(tag)), 1);
}

void TfrmMain::btnFactoryClick()
{
    const auto answer =
        Dialogs().WarningOkCancel(this, LoadStr(kIdWarning), LoadStr(kIdFactoryQuestion), LoadStr(kIdCancel));
    if (answer != TDialogs::Answer::Ok) {
        return;
    }
    SendCommand(CM_MCS_RESET(0x00), 1);
    SendCommand(CM_MCS_SAVELOAD(0x00, 0x00), 1);
    RequestFullState();
}
