// Applies every report of the device to the window's controls. Faders move
// only when the user is not holding them (no keyboard focus), so reports are
// never echoed back. The polls that answer level and ducking reports are the
// engine's (DeviceConversation).
#pragma once

#include "Lcmd.h"
#include "ReportDecoder.h"

#include <QObject>
#include <QString>

#include <functional>

class QLineEdit;
class QProgressBar;
class QTimer;
class TPanel;
struct PanelControls;
class TrhTrackBar;

class ReportDispatcher : public QObject {
public:
    using MessageFn = std::function<void(const QString& text)>;
    // Joins or parts a sub (master false) or master pair on screen.
    using GangFn = std::function<void(bool master, bool ganged)>;

    // message: where busy and error texts go.
    ReportDispatcher(PanelControls& panel, MessageFn message, GangFn showGanged);

    // replyText stays empty for every recognised report and becomes
    // "unknow command: XX" for an unrecognised one. A report shorter than its
    // layout is ignored (the caller still logs it).
    void DispatchReport(const ReportEvent& report, QString& replyText);

private:
    struct Strip {
        TrhTrackBar* fader;
        QProgressBar* bar;
        QLineEdit* edit;
        TPanel* mute;
    };
    // Line and outputs by channel byte 0..4.
    Strip Stereo(std::uint8_t channel) const;
    bool DuckingInEffect() const;
    void MoveFader(TrhTrackBar* fader, int position);
    void ShowGain(QProgressBar* bar, QLineEdit* edit, bool muted, int barPosition, int position);

    void LineSource(std::uint8_t source);
    void StereoGain(std::uint8_t position, std::uint8_t channel);
    void MicGain(std::uint8_t position, std::uint8_t channel);
    void Level(std::uint8_t position, std::uint8_t channel);
    void DuckState(std::uint8_t state);
    void Priority(std::uint8_t flag, std::uint8_t channel);
    void Ganged(std::uint8_t flag, std::uint8_t pair);
    void PairLevels(std::uint8_t left, std::uint8_t right, bool master);
    void Mute(std::uint8_t flag, std::uint8_t channel);
    void DuckSettingReport(DuckSetting setting, std::uint8_t value);
    void SwitchOn(std::uint8_t value);

    PanelControls& w_;
    MessageFn message_;
    GangFn showGanged_;
};
