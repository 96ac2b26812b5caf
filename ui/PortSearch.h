// The COM tab's search for the KESTRA: every detected port and COM1..COM8
// get one poll at the same time, off the user-interface thread (a pool
// thread runs the probes, each on its own driver); the ports where a KESTRA
// answers are listed and the first is chosen as the window's port. A click
// on a listed port chooses that one. The button stays usable while
// disconnected, which is when it is needed.
#pragma once

#include "PortProbe.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <vector>

class DeviceConnection;
class PortChoice;
class QListWidget;
class QPushButton;
class QWidget;

class PortSearch : public QObject {
public:
    static constexpr int kWaitMs = 800;
    // Names to try and how to show them (tests give pseudo-terminals).
    using Candidates = std::function<QStringList(QStringList* labels)>;

    using MessageFn = std::function<void(const QString& text)>;

    // Its button and list go on page; a port found is chosen through ports;
    // message: the status bar's message panel.
    PortSearch(QWidget& page, PortChoice& ports, const DeviceConnection& device, MessageFn message);

    QPushButton* btnSearch = nullptr;
    QListWidget* lstFound = nullptr;

    void Start();
    bool Running() const { return running_; }
    int Searches() const { return searches_; }
    const std::vector<comm::ProbeResult>& Results() const { return results_; }
    void SetCandidates(Candidates candidates) { candidates_ = std::move(candidates); }
    void ApplyLanguage();

private:
    void Show(std::vector<comm::ProbeResult> results);
    void Choose(const QString& name);

    PortChoice& ports_;
    const DeviceConnection& device_;
    MessageFn message_;
    Candidates candidates_;
    std::vector<comm::ProbeResult> results_;
    bool running_ = false;
    int searches_ = 0;
};
