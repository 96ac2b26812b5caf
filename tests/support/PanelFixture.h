// Widget-test fixture: the real TfrmMain, offscreen, connected through the
// real serial driver to the simulated KESTRA on a pseudo-terminal. Tests act
// as a user would (QTest clicks, keys, focus) and compare the exact frames
// the simulated device received.
#pragma once

#include "Dialogs.h"
#include "Fmain.h"
#include "KestraSim.h"
#include "Lcmd.h"
#include "Settings.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Answers every dialog from a script and records what was asked.
class ScriptedDialogs : public TDialogs {
public:
    struct Asked { QString kind, caption, text, cancelCaption; };
    std::deque<Answer> answers;  // taken in order; when empty: Ignore / Cancel
    std::vector<Asked> asked;
    // Runs while a dialog is "open", inside the handler that opened it: a
    // nested event loop, as a real modal box would run.
    std::function<void()> whileOpen;

    Answer AbortRetryIgnore(QWidget*, const QString& caption, const QString& text) override
    {
        return Ask({QStringLiteral("AbortRetryIgnore"), caption, text, {}}, Answer::Ignore);
    }
    Answer WarningOkCancel(QWidget*, const QString& caption, const QString& text, const QString& cancel) override
    {
        return Ask({QStringLiteral("WarningOkCancel"), caption, text, cancel}, Answer::Cancel);
    }
    void Information(QWidget*, const QString& text) override { Ask({QStringLiteral("Information"), {}, text, {}}); }
    void Error(QWidget*, const QString& text) override { Ask({QStringLiteral("Error"), {}, text, {}}); }
    void Plain(QWidget*, const QString& text) override { Ask({QStringLiteral("Plain"), {}, text, {}}); }

private:
    Answer Ask(Asked question, Answer fallback = Answer::Ok);
};

class PanelFixture : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the simulator (options as given; its link in the test's own
    // directory) and points the panel at it, dropping any window built before.
    void StartDevice(sim::SimOptions options = {});
    void BuildWindow();
    // Shows the window and waits until it is active.
    void Show();
    // Shows the window (which reads the settings and connects) and waits
    // until the full state was read: the first poll after the inquiries.
    void ShowAndConnect();
    // Waits until the line has been idle long enough for a poll to go out
    // after everything sent so far, so every reply has been handled.
    void Settle();

    // Frames the device received since the last ClearReceived, polls left out.
    std::vector<std::string> ReceivedHex() const;
    void ClearReceived() { device_->ClearReceived(); }

    QStringList LogLines() const;
    // A number in the settings file; none when the key was never written,
    // so that "stored 0" cannot pass for "not stored".
    std::optional<int> StoredInt(const QString& key) const;
    QString Status(int panel) const;
    // Gives the fader the keyboard focus as a user's click would.
    void Focus(QWidget* widget);

    QTemporaryDir dir_;
    std::unique_ptr<sim::KestraSim> device_;
    std::unique_ptr<TfrmMain> w_;
    ScriptedDialogs* dialogs_ = nullptr;  // owned by the window
    QString settingsFile_;
    std::string linkPath_;
};
