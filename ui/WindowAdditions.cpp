#include "WindowAdditions.h"

#include "AutoReconnect.h"
#include "BackupRestore.h"
#include "Commands.h"
#include "Connection.h"
#include "DecodedLog.h"
#include "DeviceConversation.h"
#include "Dialogs.h"
#include "Fmain.h"
#include "Fmsg.h"
#include "Language.h"
#include "ReportDecoder.h"
#include "Settings.h"
#include "StateJson.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QTimer>

namespace {
constexpr int kIdCancel = 30047;
constexpr int kIdBackup = 30130;
constexpr int kIdRestore = 30131;
constexpr int kIdReconnect = 30132;
constexpr int kIdRestoreCaption = 30138;
constexpr int kIdRestoreQuestion = 30139;
constexpr int kIdNothingToRestore = 30140;
constexpr int kIdRestored = 30141;
constexpr int kIdBackupSaved = 30142;
constexpr int kIdPresetLoaded = 30143;
constexpr int kIdNothingToUndo = 30144;
constexpr int kIdNothingToRedo = 30145;
constexpr int kIdMore = 30146;
constexpr int kIdLogNotSaved = 30147;
constexpr int kIdBackupNotSaved = 30148;
constexpr int kIdStillReading = 30149;
constexpr int kIdRestoreDone = 30170;
constexpr int kIdNotConfirmed = 30171;
constexpr int kRestoreCheckMs = 100;
constexpr int kRestoreWaitMs = 3000;
constexpr int kRestorePerChangeMs = 200;
// Lines of a restore's list of changes before the rest is only counted.
constexpr int kListedChanges = 12;
const QString kStateFiles = QStringLiteral("KESTRA state (*.json);;All files (*)");
}  // namespace

WindowAdditions::WindowAdditions(TfrmMain& window)
    : w_(window), undo_([this](const LCmd& c) { SendUnrecorded(c); })
{
    clock_.start();
    BuildControls();
    reconnect_ = new AutoReconnect(w_.Device(), *cbReconnect, [this](const QString& text) { w_.ShowMessage(text); });
    reconnect_->setParent(this);
    ApplyLanguage();
}

WindowAdditions::~WindowAdditions() = default;

void WindowAdditions::BuildControls()
{
    // Under the connection buttons, where the COM tab has room.
    const auto button = [this](const char* name, int y) {
        auto* b = new QPushButton(w_.tabCOM);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(12, y, 218, 26);
        w_.AddComponent(b);
        return b;
    };
    btnBackup = button("btnBackup", 152);
    btnRestore = button("btnRestore", 182);
    cbReconnect = new QCheckBox(w_.tabCOM);
    cbReconnect->setObjectName(QStringLiteral("cbReconnect"));
    cbReconnect->setGeometry(12, 216, 218, 22);
    w_.AddComponent(cbReconnect);
    btnBackup->setEnabled(false);
    btnRestore->setEnabled(false);

    connect(btnBackup, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(&w_, btnBackup->text(), QString(), kStateFiles);
        if (!path.isEmpty()) {
            SaveBackup(path);
        }
    });
    connect(btnRestore, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(&w_, btnRestore->text(), QString(), kStateFiles);
        if (!path.isEmpty()) {
            Restore(path);
        }
    });
    connect(cbReconnect, &QCheckBox::toggled, this, [this](bool on) {
        w_.Store().SaveFlag(SettingsStore::kReconnectKey, on);
    });
    connect(w_.frmMsg, &TfrmMsg::saveLogRequested, this, [this] {
        const QString path = QFileDialog::getSaveFileName(w_.frmMsg, w_.frmMsg->btnSaveLog->text(), QString(),
                                                          QStringLiteral("Text (*.txt *.log);;All files (*)"));
        if (!path.isEmpty()) {
            SaveLog(path);
        }
    });

    connect(new QShortcut(QKeySequence::Undo, &w_), &QShortcut::activated, this, &WindowAdditions::Undo);
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)}) {
        connect(new QShortcut(keys, &w_), &QShortcut::activated, this, &WindowAdditions::Redo);
    }
}

void WindowAdditions::ApplyLanguage()
{
    btnBackup->setText(LoadStr(kIdBackup));
    btnRestore->setText(LoadStr(kIdRestore));
    cbReconnect->setText(LoadStr(kIdReconnect));
    w_.frmMsg->ApplyLanguage();
}

void WindowAdditions::Start()
{
    const QSignalBlocker quiet(cbReconnect);  // reading is no choice to store
    cbReconnect->setChecked(w_.Store().Flag(SettingsStore::kReconnectKey));
}

bool WindowAdditions::OnLinkError(int code)
{
    return reconnect_->OnLinkError(code);
}

const DeviceState& WindowAdditions::Device() const
{
    static const DeviceState none;
    const DeviceConversation* engine = w_.Device().Engine();
    return engine != nullptr ? engine->State() : none;
}

void WindowAdditions::OnFrame(const LCmd& frame, Direction direction)
{
    // The values an undo step returns to are the engine's, as it last read
    // them; while it reads the whole state there are none to trust.
    if (direction == Direction::Received || sendingOurOwn_ || !w_.Device().StateRead()) {
        return;
    }
    if (frame.Sub() == sub::kSaveLoad && frame.Payload().size() > 1 && frame.Payload()[1] == 0) {
        // A loaded preset replaces everything at once: no earlier value
        // means anything after it.
        undo_.Clear();
        Notice(LoadStr(kIdPresetLoaded));
        return;
    }
    undo_.Record(frame, Device(), clock_.elapsed(), sameAction_);
    if (!sameAction_) {
        sameAction_ = true;
        QTimer::singleShot(0, this, [this] { sameAction_ = false; });
    }
}

void WindowAdditions::SendUnrecorded(const LCmd& command)
{
    sendingOurOwn_ = true;
    w_.SendCommand(command, 1);
    sendingOurOwn_ = false;
}

void WindowAdditions::Notice(const QString& text)
{
    w_.Device().ShowDeviceMessage(text);
}

void WindowAdditions::Undo()
{
    Step(&UndoHistory::Undo, kIdNothingToUndo);
}

void WindowAdditions::Redo()
{
    Step(&UndoHistory::Redo, kIdNothingToRedo);
}

void WindowAdditions::Step(bool (UndoHistory::*step)(), int nothingId)
{
    if (!w_.Connected()) {
        return;
    }
    // A fader keeps its place against reports while it has the focus; the
    // undone or redone value must show.
    if (QWidget* focus = w_.focusWidget(); focus != nullptr && focus->inherits("TrhTrackBar")) {
        focus->clearFocus();
    }
    if (!(undo_.*step)()) {
        Notice(LoadStr(nothingId));
    }
}

bool WindowAdditions::StateKnown()
{
    const bool known = w_.Device().StateRead();
    if (!known) {
        w_.Dialogs().Information(&w_, LoadStr(kIdStillReading));
    }
    return known;
}

bool WindowAdditions::SaveBackup(const QString& path)
{
    if (!StateKnown()) {
        return false;
    }
    QSaveFile file(path);
    const QByteArray bytes = BackupBytes(Device());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        w_.Dialogs().Error(&w_, QStringLiteral("%1\n%2: %3").arg(LoadStr(kIdBackupNotSaved), path, file.errorString()));
        return false;
    }
    Notice(LoadStr(kIdBackupSaved).arg(path));
    return true;
}

bool WindowAdditions::Restore(const QString& path)
{
    if (!StateKnown()) {
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        w_.Dialogs().Error(&w_, QStringLiteral("%1: %2").arg(path, file.errorString()));
        return false;
    }
    QByteArray bytes;
    if (const auto error = ReadStateFile(file, bytes)) {
        w_.Dialogs().Error(&w_, QStringLiteral("%1: %2").arg(path, *error));
        return false;
    }
    const RestorePlan plan = PlanRestore(bytes, Device());
    if (!plan.error.isEmpty()) {
        w_.Dialogs().Error(&w_, QStringLiteral("%1: %2").arg(path, plan.error));
        return false;
    }
    if (plan.changes.empty()) {
        w_.Dialogs().Information(&w_, LoadStr(kIdNothingToRestore));
        return false;
    }
    QStringList listed = plan.lines.mid(0, kListedChanges);
    if (plan.lines.size() > kListedChanges) {
        listed << LoadStr(kIdMore).arg(plan.lines.size() - kListedChanges);
    }
    const QString question =
        listed.join(QLatin1Char('\n')) + QStringLiteral("\n\n") + LoadStr(kIdRestoreQuestion).arg(plan.changes.size());
    if (w_.Dialogs().WarningOkCancel(&w_, LoadStr(kIdRestoreCaption), question, LoadStr(kIdCancel)) !=
            TDialogs::Answer::Ok ||
        !w_.Connected() || !StateKnown()) {
        return false;
    }
    // While the box was open the device may have changed (or been read
    // again after a reconnect): the changes are planned anew against it.
    const RestorePlan now = PlanRestore(bytes, Device());
    for (const StateChange& change : now.changes) {
        SendUnrecorded(change.command);
    }
    // A restore is one step that cannot be taken back: it replaces values
    // the earlier steps would return to.
    undo_.Clear();
    Notice(LoadStr(kIdRestored).arg(now.changes.size()));
    WatchRestore(bytes, static_cast<int>(now.changes.size()));
    return true;
}

void WindowAdditions::WatchRestore(const QByteArray& file, int sent)
{
    // The device's own reports say what took: once nothing differs any more,
    // or after a while, the user is told what was sent and confirmed.
    if (restoreTimer_ == nullptr) {
        restoreTimer_ = new QTimer(this);
        restoreTimer_->setInterval(kRestoreCheckMs);
        connect(restoreTimer_, &QTimer::timeout, this, [this] {
            const RestorePlan left = PlanRestore(restoreFile_, Device());
            if (!left.changes.empty() && w_.Connected() && restoreClock_.elapsed() < restoreLimitMs_) {
                return;
            }
            restoreTimer_->stop();
            const int confirmed = std::max(0, restoreSent_ - static_cast<int>(left.changes.size()));
            QString text = LoadStr(kIdRestoreDone).arg(restoreSent_).arg(confirmed);
            if (!left.lines.isEmpty()) {
                text += QLatin1Char('\n') + LoadStr(kIdNotConfirmed).arg(left.lines.join(QStringLiteral(", ")));
            }
            Notice(text);
            w_.Dialogs().Information(&w_, text);
        });
    }
    restoreFile_ = file;
    restoreSent_ = sent;
    restoreLimitMs_ = kRestoreWaitMs + sent * kRestorePerChangeMs;
    restoreClock_.start();
    restoreTimer_->start();
}

bool WindowAdditions::SaveLog(const QString& path)
{
    w_.frmMsg->Flush();
    if (const auto error = SaveLogText(path, w_.frmMsg->mmMsg->toPlainText())) {
        w_.Dialogs().Error(w_.frmMsg, QStringLiteral("%1\n%2: %3").arg(LoadStr(kIdLogNotSaved), path, *error));
        return false;
    }
    return true;
}
