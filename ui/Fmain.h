// TfrmMain: the panel's one window. A page control with four tabs
// (Control-Panel, Preferences, COM, About) and a three-panel status bar. Its
// controls are PanelControls; it is the view of its DeviceConnection.
//
// The handlers of each subsystem live in their own Fmain*.cpp files.
#pragma once

#include "Colors.h"
#include "ConnectionView.h"
#include "ControlTag.h"
#include "PanelControls.h"

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>

class DeviceConnection;
class LCmd;
class PortChoice;
class PortSearch;
class ReportDispatcher;
class SettingsStore;
class TDialogs;
class TfrmMsg;
class TrafficLog;
class WindowAdditions;
class UpdateRun;

// Index of each fader in TfrmMain::LastSent.
enum LastSentIndex : int {
    kLastMic1 = 0, // .. kLastMic1 + 5 for MIC 6
    kLastLine = 6,
    kLastSubLeft = 7,
    kLastSubRight = 8,
    kLastMasterLeft = 9,
    kLastMasterRight = 10,
    kLastThreshold = 11,
    kLastAttenuation = 12,
    kLastHoldTime = 13,
    kLastFadeOut = 14,
    kLastFadeIn = 15,
    kLastSentCount = 16
};

class TfrmMain : public QWidget, public PanelControls, private ConnectionView {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // ---- window state ----------------------------------------------------
    // The port in use as the user knows it (the connection keeps the port).
    QString PortLabel() const;
    // `--port NAME`: this run opens NAME instead of the stored port (not
    // stored), and names it so; a port the user then chooses ends it.
    void SetPortForRun(const QString& name);
    const QString& PortForRun() const;
    // Position each fader's own change handler last sent, -1 = none. Never
    // reset, not even on reconnection. Indexed by LastSentIndex.
    std::array<int, kLastSentCount> LastSent;

    bool Connected() const;

    // ---- beyond the original (FmainAdditions.cpp, WindowAdditions.h) ------
    // The demo's device has no port the user would know: it is named instead.
    // Its name is longer than a port's, so the first status panel widens.
    void NameSimulatedDevice();
    bool SimulatedDevice() const;
    // What the first status panel calls the connected device.
    QString ConnectionName() const;
    WindowAdditions& Additions() { return *additions_; }
    PortSearch* Search() const { return portSearch_; }
    // The settings store in use (the production one unless a test set one).
    SettingsStore& Store();

    // ---- conventions shared by all handlers -------------------------------
    // Makes an object a component of the window (controls created later).
    void AddComponent(QObject* component);

    // After a connection is made / after it is closed or failed. Only
    // components whose class is exactly a button, combo box, edit box,
    // label, trackbar, radio button or panel are switched.
    void EnablePanelControls();
    void DisablePanelControls();

    // Sets the fader's hint and shows it at once at the pointer.
    void RefreshFaderHint(TrhTrackBar* fader, const QString& text);
    void ShowConnectionState(const QString& text) override; // status panel 0
    void ShowMessage(const QString& text) override; // status panel 1
    // A reason (a port that would not open, a name that is no port) is often
    // longer than status panel 1 shows: its whole text goes into the traffic
    // log, once while it stays the same.
    void LogReason(const QString& text);

    // ---- language ---------------------------------------------------------
    void ApplyLanguage();
    void rdgLanguageClick();

    // ---- accessibility (FmainAccessibility.cpp) ---------------------------
    // Gives every control of this window and of the message window the name
    // a screen reader speaks, in the language in force; run again after each
    // language change.
    void ApplyAccessibleNames();
    // Tab order: strip by strip, top to bottom, left to right, tab by tab.
    void SetUpTabOrder();
    // The controls in that order (only those that can take the focus).
    QVector<QWidget*> TabOrder() const;

    // ---- about tab --------------------------------------------------------
    void UnlURLLabel1Click();

    // ---- firmware update (FmainUpdate.cpp) --------------------------------
    // btnUpdate: the device runs its regular firmware; btnUpdate2: it already
    // waits in its boot loader (an interrupted update).
    void btnUpdateClick();
    void btnUpdate2Click();
    // An update started and not ended by a disconnection or a new
    // connection; its line may have failed meanwhile.
    bool Updating() const;
    // Service use (--service): shows the update buttons and the progress
    // bar, which stay hidden otherwise.
    void SetServiceMode(bool on);

    // ---- connection, settings, traffic log (FmainConnection.cpp) ----------
    TfrmMsg* frmMsg = nullptr;  // the traffic-log window, created hidden
    bool LogWindowShown = false;
    DeviceConnection& Device() { return *device_; }
    TDialogs& Dialogs() { return *dialogs_; }
    // Tests answer the dialogs themselves and use their own settings file.
    void SetDialogs(std::unique_ptr<TDialogs> dialogs);
    void SetSettingsStore(std::unique_ptr<SettingsStore> store);

    void SendCommand(const LCmd& command, std::uint8_t senderFlag);
    void RequestFullState();
    void Connect();
    void Disconnect();
    void FormShow();
    void FormCloseQuery();
    void btnConnectClick();
    void btnDisconnectClick();
    void cbCOMChange();
    void SavePortChoice();
    PortChoice* Ports() const { return portChoice_; }
    void btnViewmessagesClick();
    void Button1Click();

    // ---- user actions (FmainInputs/Outputs/Ducking/Presets.cpp) ------------
    void tbMic1Change(TrhTrackBar* fader);
    void tbLineChange(TrhTrackBar* fader);
    void Panel1Click(TPanel* panel);
    void btnLineClick();
    void btnduck1Click(TPanel* panel);
    void edMic1KeyDown(QLineEdit* edit);
    void edMic1Exit(QLineEdit* edit);
    void tbSubLeftChange(TrhTrackBar* fader);
    // After a typed level for output k: a ganged pair's right fader goes
    // where the device has moved the right output.
    void FollowGangedLeft(int k);
    void btnSubLClick(TPanel* panel);
    void btnSubGangedClick(TPanel* panel);
    // Joins or parts a sub or master pair on screen, whether the user or a
    // report did it: one mute for both, the right fader follows the left at
    // the current offset. `writeMuteText` also writes "mute" into both edits
    // when the joined mute is on.
    void ShowPairGanged(bool master, bool ganged, bool writeMuteText);
    void btnTunerClick(QPushButton* button);
    void panMaunduckClick();
    void tbThresholdChange();
    void tbAttenuationChange();
    void tbHoldTimeChange();
    void tbFadeOutChange();
    void tbFadeInChange();
    void edThresholdKeyDown(QLineEdit* edit);
    void edThresholdExit(QLineEdit* edit);
    void btnLoadClick(QPushButton* button);
    void swPreset1Click(TPanel* panel);
    void btnFactoryClick();
    // The program-wide remembered switch-on choice (-1: none yet).
    static int SwitchOnSelection();
    static void ResetSwitchOnSelection();
    // Fader of a gain edit box by its tag (1..6 mics, 7 line, 8..11 outputs).
    TrhTrackBar* GainFaderOf(const QLineEdit* edit) const;
    // The hint of a gain fader: the level without its unit, or "mute".
    static QString FaderHintText(const TrhTrackBar* fader);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct OutputPair {
        TrhTrackBar* leftFader;
        TrhTrackBar* rightFader;
        QProgressBar* leftBar;
        QProgressBar* rightBar;
        QLineEdit* leftEdit;
        QLineEdit* rightEdit;
        TPanel* leftMute;
        TPanel* rightMute;
        TPanel* gangedPanel;
        bool* ganged;
        int* offset;
        int lastLeft;
        int lastRight;
    };
    OutputPair Pair(bool master);
    bool TakeFocusedMove(TrhTrackBar* fader, int lastSentIndex);
    int UnmutedLevel(const TrhTrackBar* fader, bool subjectToDucking) const;
    void ToggleInputMute(TPanel* panel, TrhTrackBar* fader, QProgressBar* bar, QLineEdit* edit,
                         bool subjectToDucking, std::uint8_t channelByte);
    bool SendPreferenceMove(TrhTrackBar* fader, int lastSentIndex, const LCmd& command);
    void RestorePreferenceBox(QLineEdit* edit);
    void SetUpConnection();
    void MakeDeviceConnection();
    // What the window offers beyond its original (FmainAdditions.cpp).
    void SetUpAdditions();
    // The rest of the connection's view.
    QWidget& Host() override { return *this; }
    void ShowLineNote(const QString& text) override;
    void ConnectionChanged(bool connected) override;
    void ShowReport(const ReportEvent& report, QString& replyText) override;
    // A serial error the additions deal with themselves; true: no error box.
    bool HandleLinkLost(int code) override;
    void ConnectHandlers();

    // Declared in this order so that the connection goes before what it uses.
    std::unique_ptr<TDialogs> dialogs_;
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<TrafficLog> log_;
    struct AdditionsDeleter {
        void operator()(WindowAdditions* additions) const;
    };
    std::unique_ptr<WindowAdditions, AdditionsDeleter> additions_;  // fed by the connection's frames
    QString loggedReason_;
    std::unique_ptr<ReportDispatcher> dispatcher_;
    std::unique_ptr<DeviceConnection> device_;
    bool shownOnce_ = false;
    PortChoice* portChoice_ = nullptr; // a child of the window
    PortSearch* portSearch_ = nullptr; // a child of the window

    // The update run outlives its line; the next start replaces it.
    class UpdateWindowView;
    struct UpdateDeleter {
        void operator()(UpdateRun* run) const;
        void operator()(UpdateWindowView* view) const;
    };
    std::unique_ptr<UpdateWindowView, UpdateDeleter> updateView_;
    std::unique_ptr<UpdateRun, UpdateDeleter> update_;
    void StartUpdate(bool inBootLoader);
    bool UpdateLineOpen() const;
    void EndUpdate();

    void FormCreate();
    void BuildControlTab();
    void BuildInputGroup();
    void BuildOutputGroup();
    void BuildLineGroup();
    void BuildPresetAndManualGroups();
    void BuildPreferencesTab();
    void BuildComTab();
    void BuildAboutTab();

    // Creation helpers: a component with its object name and tag.
    template <class T>
    T* Create(QWidget* parent, const char* name, int tag = 0);
    QLabel* NewLabel(QWidget* parent, const char* name, const QString& caption, const QRect& geometry,
                     Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter);
    QPushButton* NewButton(QWidget* parent, const char* name, int tag, const QString& caption,
                           const QRect& geometry);
    TrhTrackBar* NewFader(QWidget* parent, const char* name, int tag, const QRect& geometry);
    QProgressBar* NewLevelBar(QWidget* parent, const char* name, int tag, const QRect& geometry);
    QLineEdit* NewEdit(QWidget* parent, const char* name, int tag, int maxLength, const QString& text,
                       const QRect& geometry);
    TPanel* NewLatch(QWidget* parent, const char* name, int tag, const QString& caption, const QRect& geometry);
    TPanel* NewIndicator(QWidget* parent, const char* name, TColor color, const QPoint& at);
    QComboBox* NewCombo(QWidget* parent, const char* name, const QStringList& items, const QRect& geometry);
    QGroupBox* NewGroup(QWidget* parent, const char* name, const QString& caption, const QRect& geometry);

};

template <class T>
T* TfrmMain::Create(QWidget* parent, const char* name, int tag)
{
    T* control = new T(parent);
    control->setObjectName(QString::fromLatin1(name));
    SetTag(control, tag);
    AddComponent(control);
    return control;
}
