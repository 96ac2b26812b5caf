// Conventions shared by every handler: finding a control by composed name,
// switching the panel's controls with the connection, hints and status texts.
#include "Fmain.h"
#include "Fmsg.h"

#include "Panel.h"
#include "Rhtrack.h"
#include "StatusBar.h"

#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolTip>

namespace {

// Exactly these classes follow the connection; a derived class does not
// (the link label, the radio groups' own buttons), nor do level bars, group
// boxes, tab sheets or the status bar.
bool IsSwitched(const QObject* component)
{
    const QMetaObject* m = component->metaObject();
    return m == &QPushButton::staticMetaObject || m == &QComboBox::staticMetaObject
        || m == &QLineEdit::staticMetaObject || m == &QLabel::staticMetaObject
        || m == &TrhTrackBar::staticMetaObject || m == &QRadioButton::staticMetaObject
        || m == &TPanel::staticMetaObject;
}

void SwitchAll(const QVector<QObject*>& components, bool enabled)
{
    for (QObject* c : components) {
        if (IsSwitched(c)) {
            static_cast<QWidget*>(c)->setEnabled(enabled);
        }
    }
}

} // namespace

void TfrmMain::EnablePanelControls()
{
    SwitchAll(components_, true);
    btnViewmessages->setEnabled(true);
    cbCOM->setEnabled(true);
    cbDataBit->setEnabled(false);
    cbParity->setEnabled(false);
    cbStopBits->setEnabled(false);
    cbBaudRate->setEnabled(false);
}

void TfrmMain::DisablePanelControls()
{
    SwitchAll(components_, false);
    btnViewmessages->setEnabled(false);
    cbCOM->setEnabled(true);
    btnConnect->setEnabled(true);
    btnUpdate->setEnabled(true);
    btnUpdate2->setEnabled(true);
}

void TfrmMain::RefreshFaderHint(TrhTrackBar* fader, const QString& text)
{
    fader->setToolTip(text);
    // Shown at once, so the value follows the pointer while dragging. A
    // fader the user cannot see (another tab, a minimised window) moved by a
    // report keeps its hint for later instead of popping it up elsewhere.
    if (fader->isVisible() && isActiveWindow()) {
        QToolTip::showText(QCursor::pos(), text, fader);
    }
}

void TfrmMain::ShowConnectionState(const QString& text)
{
    sbMain->SetPanelText(0, text);
}

void TfrmMain::ShowMessage(const QString& text)
{
    sbMain->SetPanelText(1, text);
    // The panel cuts long reasons off: the tool tip holds the whole text.
    sbMain->PanelLabel(1)->setToolTip(text);
}

void TfrmMain::LogReason(const QString& text)
{
    if (!text.isEmpty() && text != loggedReason_) {
        frmMsg->AppendLine(text);
    }
    loggedReason_ = text;
}
