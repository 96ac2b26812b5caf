#include "Dispatcher.h"

#include "Commands.h"
#include "PanelControls.h"
#include "Language.h"
#include "LevelBar.h"
#include "Mroutine.h"
#include "Panel.h"
#include "ReportDecoder.h"
#include "Reports.h"
#include "Rhtrack.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>

namespace {
QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

// Level text of the position a bar shows, read back after it clamped.
int ShownPosition(const QProgressBar* bar)
{
    return bar->maximum() - bar->value();
}
}  // namespace

ReportDispatcher::ReportDispatcher(PanelControls& panel, MessageFn message, GangFn showGanged)
    : w_(panel), message_(std::move(message)), showGanged_(std::move(showGanged))
{
}

ReportDispatcher::Strip ReportDispatcher::Stereo(std::uint8_t c) const
{
    switch (c) {
    case channel::kLine:
        return {w_.tbLine, w_.pgbLine, w_.edLine, w_.btnLine};
    case channel::kSubLeft:
        return {w_.tbSubLeft, w_.pgbSubLeft, w_.edSubLeft, w_.btnSubL};
    case channel::kSubRight:
        return {w_.tbSubRight, w_.pgbSubRight, w_.edSubRight, w_.btnSubR};
    case channel::kMasterLeft:
        return {w_.tbMasterLeft, w_.pgbMasterLeft, w_.edMasterLeft, w_.btnMasterL};
    case channel::kMasterRight:
        return {w_.tbMasterRight, w_.pgbMasterRight, w_.edMasterRight, w_.btnMasterR};
    default:
        return {nullptr, nullptr, nullptr, nullptr};
    }
}

bool ReportDispatcher::DuckingInEffect() const
{
    return IsPressed(w_.panMaunduck) || w_.DuckingActive;
}

void ReportDispatcher::MoveFader(TrhTrackBar* fader, int position)
{
    // The user's hand wins: a fader with the focus keeps its place.
    if (!fader->hasFocus()) {
        fader->SetPosition(position);  // clamps to the fader's range
    }
}

void ReportDispatcher::DispatchReport(const ReportEvent& e, QString& replyText)
{
    switch (e.kind) {
    case ReportKind::Unknown:
    case ReportKind::Ack:  // never handed here: the connection shows them itself
    case ReportKind::Nak:
        replyText = Text(UnknownCommandText(e.sub));
        break;
    case ReportKind::LineSource:
        LineSource(e.value);
        break;
    case ReportKind::Gain:
        if (channel::IsStereo(e.channel)) {
            StereoGain(e.value, e.channel);
        } else {
            MicGain(e.value, e.channel);
        }
        break;
    case ReportKind::Level:
        Level(e.value, e.channel);
        break;
    case ReportKind::DuckState:
        DuckState(e.value);
        break;
    case ReportKind::Priority:
        Priority(e.value, e.channel);
        break;
    case ReportKind::Ganged:
        Ganged(e.value, e.channel);
        break;
    case ReportKind::PairLevels:
        PairLevels(e.value, e.value2, e.channel == channel::kMasterLeft);
        break;
    case ReportKind::Mute:
        Mute(e.value, e.channel);
        break;
    case ReportKind::DuckSetting:
        DuckSettingReport(e.setting, e.value);
        break;
    case ReportKind::SwitchOn:
        SwitchOn(e.value);
        break;
    case ReportKind::Busy:
        message_(LoadStr(kBusyMessageId));
        break;
    case ReportKind::Error: {
        const auto id = ErrorMessageId(e.value);
        message_(id ? LoadStr(*id) : QString());
        break;
    }
    case ReportKind::NoEffect:
    case ReportKind::Short:  // too short to apply; the caller still logs it
        break;
    }
}

void ReportDispatcher::DuckSettingReport(DuckSetting setting, std::uint8_t value)
{
    switch (setting) {
    case DuckSetting::Threshold:
        MoveFader(w_.tbThreshold, 129 - value);
        break;
    case DuckSetting::Attenuation:
        MoveFader(w_.tbAttenuation, value);
        break;
    case DuckSetting::HoldTime:
        MoveFader(w_.tbHoldTime, value);
        break;
    case DuckSetting::FadeOut:
        MoveFader(w_.tbFadeOut, value);
        break;
    case DuckSetting::FadeIn:
        MoveFader(w_.tbFadeIn, value);
        break;
    }
}

void ReportDispatcher::LineSource(std::uint8_t source)
{
    // Sources 1..4 light lamps 0..3; anything else means off, lamp 4.
    const int lit = source >= 1 && source <= 4 ? source - 1 : 4;
    for (int i = 0; i < 5; ++i) {
        w_.LinePanel[i]->SetColor(i == lit ? clLime : clGreen);
    }
    for (int i = 0; i < 5; ++i) {
        w_.LinePanel[i]->repaint();
    }
}

void ReportDispatcher::StereoGain(std::uint8_t position, std::uint8_t c)
{
    const Strip strip = Stereo(c);
    if (strip.fader == nullptr) {
        return;
    }
    MoveFader(strip.fader, position);
    ShowGain(strip.bar, strip.edit, IsPressed(strip.mute), strip.fader->Max() - position, position);

    // A ganged left output also refreshes its right partner's display.
    const bool sub = c == channel::kSubLeft && w_.SubGanged && !IsPressed(w_.btnSubL);
    const bool master = c == channel::kMasterLeft && w_.MasterGanged && !IsPressed(w_.btnMasterL);
    if (sub || master) {
        const Strip right = Stereo(static_cast<std::uint8_t>(c + 1));
        const int attenuation = DuckingInEffect() ? w_.tbAttenuation->Position() : 0;
        SetBarPosition(right.bar, right.fader->Max() - right.fader->Position() - attenuation);
        right.edit->setText(Text(PositionText(ShownPosition(right.bar))));
    }
}

void ReportDispatcher::MicGain(std::uint8_t position, std::uint8_t c)
{
    if (!channel::IsMic(c)) {
        return;
    }
    const int n = c - 15;
    auto* fader = w_.FindControl<TrhTrackBar>("tbMic", n);
    auto* bar = w_.FindControl<QProgressBar>("pgbMic", n);
    auto* edit = w_.FindControl<QLineEdit>("edMic", n);
    if (fader == nullptr || bar == nullptr || edit == nullptr) {
        return;
    }
    MoveFader(fader, position);
    auto* panel = w_.FindControl<TPanel>("Panel", n);
    ShowGain(bar, edit, panel != nullptr && IsPressed(panel), fader->Max() - position, position);
}

void ReportDispatcher::ShowGain(QProgressBar* bar, QLineEdit* edit, bool muted, int barPosition, int position)
{
    // A gain report does not unmute: a muted strip keeps showing "mute",
    // whichever of the two reports the device sent last.
    if (muted) {
        SetBarPosition(bar, bar->minimum());
        edit->setText(QStringLiteral("mute"));
        return;
    }
    SetBarPosition(bar, barPosition);
    edit->setText(Text(PositionText(position)));
}

void ReportDispatcher::Level(std::uint8_t position, std::uint8_t c)
{
    QProgressBar* bar = nullptr;
    QLineEdit* edit = nullptr;
    if (channel::IsStereo(c)) {
        const Strip strip = Stereo(c);
        bar = strip.bar;
        edit = strip.edit;
    } else if (channel::IsMic(c)) {
        bar = w_.FindControl<QProgressBar>("pgbMic", c - 15);
        edit = w_.FindControl<QLineEdit>("edMic", c - 15);
    }
    if (bar != nullptr && edit != nullptr) {
        SetBarPosition(bar, bar->maximum() - position);
        edit->setText(Text(PositionText(position)));
    }
}

void ReportDispatcher::DuckState(std::uint8_t state)
{
    const bool active = (state & 0x01) != 0;
    w_.DuckingActive = active;
    w_.palActDuck->SetColor(active ? clYellow : clOlive);
    // The lamps show the report's net effect at once: lit for a microphone
    // without priority while ducking is active. A blink to yellow first would
    // show a colour the device never had.
    for (int n = 1; n <= 6; ++n) {
        auto* prior = w_.FindControl<TPanel>("btnduck", n);
        auto* lamp = w_.FindControl<TPanel>("panduck", n);
        if (prior != nullptr && lamp != nullptr) {
            lamp->SetColor(active && !IsPressed(prior) ? clYellow : clOlive);
        }
    }
    // Manual ducking is known at once: the mute reports that follow compute
    // ducked levels from it.
    SetPressed(w_.panMaunduck, (state & 0x02) != 0);
}

void ReportDispatcher::Priority(std::uint8_t flag, std::uint8_t c)
{
    const int n = c - 15;
    auto* prior = w_.FindControl<TPanel>("btnduck", n);
    auto* lamp = w_.FindControl<TPanel>("panduck", n);
    if (prior == nullptr || lamp == nullptr) {
        return;
    }
    if (flag == 1) {
        SetPressed(prior, true);
        lamp->SetColor(clOlive);
    } else {
        SetPressed(prior, false);
        if (w_.DuckingActive) {
            lamp->SetColor(clYellow);
        }
    }
}

void ReportDispatcher::Ganged(std::uint8_t flag, std::uint8_t pair)
{
    if (pair == 1 || pair == 2) {
        showGanged_(pair == 2, flag != 0);
    }
}

void ReportDispatcher::PairLevels(std::uint8_t leftPos, std::uint8_t rightPos, bool master)
{
    const Strip left = Stereo(master ? channel::kMasterLeft : channel::kSubLeft);
    const Strip right = Stereo(master ? channel::kMasterRight : channel::kSubRight);
    right.edit->setText(Text(PositionText(rightPos)));
    left.edit->setText(Text(PositionText(leftPos)));
    SetBarPosition(left.bar, left.fader->Max() - leftPos);
    SetBarPosition(right.bar, right.fader->Max() - rightPos);
}

void ReportDispatcher::Mute(std::uint8_t flag, std::uint8_t c)
{
    const bool muted = flag != 0;
    if (c > channel::kMasterRight) {
        const int n = c - 15;
        auto* panel = w_.FindControl<TPanel>("Panel", n);
        auto* prior = w_.FindControl<TPanel>("btnduck", n);
        auto* bar = w_.FindControl<QProgressBar>("pgbMic", n);
        auto* fader = w_.FindControl<TrhTrackBar>("tbMic", n);
        auto* edit = w_.FindControl<QLineEdit>("edMic", n);
        if (!panel || !prior || !bar || !fader || !edit) {
            return;
        }
        if (muted) {
            SetPressed(panel, true);
            SetBarPosition(bar, bar->minimum());
            edit->setText(QStringLiteral("mute"));
        } else {
            SetPressed(panel, false);
            const bool ducked = DuckingInEffect() && !IsPressed(prior);
            SetBarPosition(bar, fader->Max() - fader->Position() - (ducked ? w_.tbAttenuation->Position() : 0));
            edit->setText(Text(WholeDbLevelText(PositionToDb(ShownPosition(bar)))));
        }
        return;
    }
    const Strip strip = Stereo(c);
    if (muted) {
        SetPressed(strip.mute, true);
        SetBarPosition(strip.bar, strip.bar->minimum());
        strip.edit->setText(QStringLiteral("mute"));
    } else {
        SetPressed(strip.mute, false);
        // Only the line input is ducked here; outputs never are.
        const bool ducked = c == channel::kLine && DuckingInEffect();
        SetBarPosition(strip.bar,
                       strip.fader->Max() - strip.fader->Position() - (ducked ? w_.tbAttenuation->Position() : 0));
        strip.edit->setText(Text(WholeDbLevelText(PositionToDb(ShownPosition(strip.bar)))));
    }
}

void ReportDispatcher::SwitchOn(std::uint8_t value)
{
    const int s = value & 3;
    for (int n = 1; n <= 3; ++n) {
        auto* panel = w_.FindControl<TPanel>("swPreset", n);
        if (panel == nullptr) {
            return;
        }
        SetPressed(panel, false);
        if (s != 0) {
            SetPressed(w_.swOff, false);
            if (s == n) {
                SetPressed(panel, true);
            }
        } else {
            SetPressed(w_.swOff, true);
        }
    }
}
