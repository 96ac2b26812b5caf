// The panel's controls and the state they show, as the window builds them
// and the device's reports move them.
//
// Controls are public members named as the handlers and reports know them.
// Numbered families are arrays indexed by their channel number (tbMic[1] ..
// tbMic[6], LinePanel[0] .. LinePanel[4], swPreset[1] .. swPreset[3]); unused
// slots are nullptr. Every control is also a "component" of the window, in
// creation order, reachable by its object name (FindControl).
#pragma once

#include <QObject>
#include <QString>
#include <QVector>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QWidget;
class TPanel;
class TRadioGroup;
class TStatusBar;
class TUnlURLLabel;
class TrhTrackBar;

struct PanelControls {
    bool DuckingActive = false; // set and cleared only by the ducking report
    bool SubGanged = false;
    bool MasterGanged = false;
    int SubGangedOffset = 0; // left position - right position when ganged
    int MasterGangedOffset = 0;

    // The component with that name whose class is exactly T (a derived class
    // does not count), else nullptr. The number is written in decimal.
    template <class T>
    T* FindControl(const QString& prefix, int n) const
    {
        return FindExact<T>(prefix + QString::number(n));
    }
    template <class T>
    T* FindExact(const QString& name) const
    {
        QObject* c = FindComponent(name);
        return c != nullptr && c->metaObject() == &T::staticMetaObject ? static_cast<T*>(c) : nullptr;
    }
    QObject* FindComponent(const QString& name) const;
    const QVector<QObject*>& Components() const { return components_; }

    // ---- controls ---------------------------------------------------------
    QTabWidget* PageControl1 = nullptr;
    QWidget* tabControl = nullptr;
    QWidget* tabPreferences = nullptr;
    QWidget* tabCOM = nullptr;
    QWidget* TabSheet4 = nullptr;
    TStatusBar* sbMain = nullptr;

    // Control-Panel tab: line source
    QGroupBox* GroupBox1 = nullptr;
    QPushButton* btnTuner = nullptr;
    QPushButton* btnType = nullptr;
    QPushButton* btnCD = nullptr;
    QPushButton* btnAux = nullptr;
    QPushButton* btnOff = nullptr;
    TPanel* LinePanel[5] = {};

    // Control-Panel tab: inputs (index 1..6 = MIC 1..6)
    QGroupBox* gbInput = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    TrhTrackBar* tbMic[7] = {};
    QProgressBar* pgbMic[7] = {};
    QLineEdit* edMic[7] = {};
    TPanel* Panel[7] = {};
    TPanel* btnduck[7] = {};
    TPanel* panduck[7] = {};
    TrhTrackBar* tbLine = nullptr;
    QProgressBar* pgbLine = nullptr;
    QLineEdit* edLine = nullptr;
    TPanel* btnLine = nullptr;

    // Control-Panel tab: presets and manual ducking
    QGroupBox* gbPreset = nullptr;
    QComboBox* cbPresetNo = nullptr;
    QPushButton* btnLoad = nullptr;
    QPushButton* btnSave = nullptr;
    QGroupBox* GroupBox4 = nullptr;
    TPanel* panMaunduck = nullptr;
    QLabel* lblManual = nullptr;
    QLabel* Label48 = nullptr;

    // Control-Panel tab: outputs
    QGroupBox* gbOutput = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label8 = nullptr;
    TrhTrackBar* tbSubLeft = nullptr;
    TrhTrackBar* tbSubRight = nullptr;
    TrhTrackBar* tbMasterLeft = nullptr;
    TrhTrackBar* tbMasterRight = nullptr;
    QProgressBar* pgbSubLeft = nullptr;
    QProgressBar* pgbSubRight = nullptr;
    QProgressBar* pgbMasterLeft = nullptr;
    QProgressBar* pgbMasterRight = nullptr;
    QLineEdit* edSubLeft = nullptr;
    QLineEdit* edSubRight = nullptr;
    QLineEdit* edMasterLeft = nullptr;
    QLineEdit* edMasterRight = nullptr;
    TPanel* btnSubL = nullptr;
    TPanel* btnSubR = nullptr;
    TPanel* btnMasterL = nullptr;
    TPanel* btnMasterR = nullptr;
    TPanel* btnSubGanged = nullptr;
    TPanel* btnMasterGanged = nullptr;

    // Preferences tab
    QGroupBox* GroupBox6 = nullptr;
    TrhTrackBar* tbThreshold = nullptr;
    QLineEdit* edThreshold = nullptr;
    TrhTrackBar* tbAttenuation = nullptr;
    QLineEdit* edAttenuation = nullptr;
    TrhTrackBar* tbHoldTime = nullptr;
    QLineEdit* edHoldtime = nullptr;
    TrhTrackBar* tbFadeOut = nullptr;
    TrhTrackBar* tbFadeIn = nullptr;
    TPanel* palActDuck = nullptr;
    QLabel* lblThreadhold = nullptr;
    QLabel* Label40 = nullptr;
    QLabel* lblAttenuation = nullptr;
    QLabel* lblstep = nullptr;
    QLabel* lblHoldtime = nullptr;
    QLabel* lblMs = nullptr;
    QLabel* lblshort = nullptr;
    QLabel* lblLong = nullptr;
    QLabel* lblDuckFadeOut = nullptr;
    QLabel* lblDuckFadeIn = nullptr;
    QLabel* lblFast1 = nullptr;
    QLabel* lblFast2 = nullptr;
    QLabel* lblSlow1 = nullptr;
    QLabel* lblSlow2 = nullptr;
    QLabel* Label10 = nullptr;

    // COM tab
    QLabel* Label27 = nullptr;
    QComboBox* cbCOM = nullptr;
    QLabel* lblSpeed = nullptr;
    QComboBox* cbBaudRate = nullptr;
    QPushButton* btnConnect = nullptr;
    QPushButton* btnDisconnect = nullptr;
    QPushButton* btnViewmessages = nullptr;
    QPushButton* Button1 = nullptr;
    QGroupBox* gbRs232Format = nullptr;
    QLabel* lblDataBit = nullptr;
    QLabel* lblParity = nullptr;
    QLabel* lblStopBits = nullptr;
    QComboBox* cbDataBit = nullptr;
    QComboBox* cbParity = nullptr;
    QComboBox* cbStopBits = nullptr;
    TRadioGroup* rgProtocol = nullptr;
    QGroupBox* gbswitchon = nullptr;
    QLabel* lblPreset = nullptr;
    TPanel* swPreset[4] = {}; // 1..3
    TPanel* swOff = nullptr;
    QPushButton* btnFactory = nullptr;
    TRadioGroup* rdgLanguage = nullptr;

    // About tab
    QGroupBox* gbAbout = nullptr;
    QLabel* lblProgramName = nullptr;
    QLabel* lblVersion = nullptr;
    TUnlURLLabel* UnlURLLabel1 = nullptr;
    QPushButton* btnUpdate = nullptr;
    QPushButton* btnUpdate2 = nullptr;
    QProgressBar* suiProgressBar1 = nullptr;


protected:
    QVector<QObject*> components_;
};
