// The window's side of what it offers beyond its original; the work is done
// by WindowAdditions.
#include "Fmain.h"

#include "Connection.h"
#include "Language.h"
#include "PortSearch.h"
#include "Settings.h"
#include "StatusBar.h"
#include "WindowAdditions.h"

namespace {
// The status bar's panels as the window makes them, and the first one wide
// enough for "simulated KESTRA connected" in either language.
constexpr int kStatusStateWidth = 125;
constexpr int kStatusMessageWidth = 360;
constexpr int kStatusLastWidth = 50;
constexpr int kSimulatedStatusWidth = 175;
}  // namespace

void TfrmMain::SetUpAdditions()
{
    additions_.reset(new WindowAdditions(*this));
    portSearch_ = new PortSearch(*tabCOM, *portChoice_, *device_, [this](const QString& text) { ShowMessage(text); });
}

void TfrmMain::AdditionsDeleter::operator()(WindowAdditions* additions) const
{
    delete additions;
}

QString TfrmMain::ConnectionName() const
{
    return device_->ConnectionName();
}

bool TfrmMain::SimulatedDevice() const
{
    return device_->SimulatedDevice();
}

void TfrmMain::NameSimulatedDevice()
{
    device_->NameSimulatedDevice();
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
    // The update's line is the user's to decide, in the ordinary box.
    return !Updating() && additions_ && additions_->OnLinkError(code);
}
