// Wires every control to its handler. Edit boxes act on Enter and on losing
// the focus to another control of the window, which an event filter sees.
#include "Fmain.h"

#include "Panel.h"
#include "Rhtrack.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace {
bool IsEnter(const QEvent* e)
{
    if (e->type() != QEvent::KeyPress) {
        return false;
    }
    const int key = static_cast<const QKeyEvent*>(e)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Focus moving to another control of the window, not the window itself
// losing activation (a dialog, another program): only the first discards a
// half-typed value.
bool IsExit(const QEvent* e)
{
    if (e->type() != QEvent::FocusOut) {
        return false;
    }
    const Qt::FocusReason reason = static_cast<const QFocusEvent*>(e)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}
}  // namespace

void TfrmMain::ConnectHandlers()
{
    for (int n = 1; n <= 6; ++n) {
        TrhTrackBar* fader = tbMic[n];
        connect(fader, &QSlider::valueChanged, this, [this, fader] { tbMic1Change(fader); });
        TPanel* mute = Panel[n];
        connect(mute, &TPanel::clicked, this, [this, mute] { Panel1Click(mute); });
        TPanel* prior = btnduck[n];
        connect(prior, &TPanel::clicked, this, [this, prior] { btnduck1Click(prior); });
    }
    connect(tbLine, &QSlider::valueChanged, this, [this] { tbLineChange(tbLine); });
    connect(btnLine, &TPanel::clicked, this, &TfrmMain::btnLineClick);

    for (TrhTrackBar* fader : {tbSubLeft, tbSubRight, tbMasterLeft, tbMasterRight}) {
        connect(fader, &QSlider::valueChanged, this, [this, fader] { tbSubLeftChange(fader); });
    }
    for (TPanel* mute : {btnSubL, btnSubR, btnMasterL, btnMasterR}) {
        connect(mute, &TPanel::clicked, this, [this, mute] { btnSubLClick(mute); });
    }
    for (TPanel* ganged : {btnSubGanged, btnMasterGanged}) {
        connect(ganged, &TPanel::clicked, this, [this, ganged] { btnSubGangedClick(ganged); });
    }
    for (QLineEdit* edit : {edMic[1], edMic[2], edMic[3], edMic[4], edMic[5], edMic[6], edLine, edSubLeft,
                            edSubRight, edMasterLeft, edMasterRight, edThreshold, edAttenuation, edHoldtime}) {
        edit->installEventFilter(this);
    }

    for (QPushButton* source : {btnTuner, btnType, btnCD, btnAux, btnOff}) {
        connect(source, &QPushButton::clicked, this, [this, source] { btnTunerClick(source); });
    }
    connect(panMaunduck, &TPanel::clicked, this, &TfrmMain::panMaunduckClick);

    connect(tbThreshold, &QSlider::valueChanged, this, &TfrmMain::tbThresholdChange);
    connect(tbAttenuation, &QSlider::valueChanged, this, &TfrmMain::tbAttenuationChange);
    connect(tbHoldTime, &QSlider::valueChanged, this, &TfrmMain::tbHoldTimeChange);
    connect(tbFadeOut, &QSlider::valueChanged, this, &TfrmMain::tbFadeOutChange);
    connect(tbFadeIn, &QSlider::valueChanged, this, &TfrmMain::tbFadeInChange);

    for (QPushButton* button : {btnLoad, btnSave}) {
        connect(button, &QPushButton::clicked, this, [this, button] { btnLoadClick(button); });
    }
    for (TPanel* panel : {swOff, swPreset[1], swPreset[2], swPreset[3]}) {
        connect(panel, &TPanel::clicked, this, [this, panel] { swPreset1Click(panel); });
    }
    connect(btnFactory, &QPushButton::clicked, this, &TfrmMain::btnFactoryClick);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* e)
{
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit != nullptr && (IsEnter(e) || IsExit(e))) {
        const bool preference = edit == edThreshold || edit == edAttenuation || edit == edHoldtime;
        if (IsEnter(e)) {
            preference ? edThresholdKeyDown(edit) : edMic1KeyDown(edit);
        } else {
            preference ? edThresholdExit(edit) : edMic1Exit(edit);
        }
    }
    return QWidget::eventFilter(watched, e);
}
