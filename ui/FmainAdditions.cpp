// The window's side of what it offers beyond its original; the work is done
// by WindowAdditions.
#include "Fmain.h"

#include "Language.h"
#include "Settings.h"
#include "StatusBar.h"
#include "WindowAdditions.h"

namespace {
constexpr int kIdSimulated = 30133;
// The status bar's panels as the window makes them, and the first one wide
// enough for "simulated KESTRA connected" in either language.
constexpr int kStatusStateWidth = 125;
constexpr int kStatusMessageWidth = 360;
constexpr int kStatusLastWidth = 50;
constexpr int kSimulatedStatusWidth = 175;
}  // namespace

QString TfrmMain::ConnectionName() const
{
    return simulated_ ? LoadStr(kIdSimulated) : PortLabel();
}

void TfrmMain::NameSimulatedDevice()
{
    simulated_ = true;
    // The same bar, the room taken from the message panel.
    sbMain->SetPanelWidths({kSimulatedStatusWidth, kStatusMessageWidth - (kSimulatedStatusWidth - kStatusStateWidth),
                            kStatusLastWidth});
}

SettingsStore& TfrmMain::Store()
{
    if (!settings_) {
        settings_ = std::make_unique<SettingsStore>();
    }
    return *settings_;
}

bool TfrmMain::HandleLinkLost(int code)
{
    return additions_ && additions_->OnLinkError(code);
}
