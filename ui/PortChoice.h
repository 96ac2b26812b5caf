// The COM tab's port box: COM1..COM8 as always, then the ports the system
// reports, and an editable entry for any device path or network address.
// The chosen port becomes the window's PortNo / PortName and is stored at
// once; a name that is not a port says why in the status bar.
//
// Adapters come and go while the window is open: on Linux the list is made
// again when /dev changes (an adapter's node appears or goes), elsewhere
// every two seconds while the box is on screen. Listing takes tens of
// milliseconds (the system walks every tty), so it runs on a pool thread and
// the box is updated when the list arrives; the window never waits for it.
#pragma once

#include "DetectedPorts.h"

#include <QObject>

#include <functional>

class QComboBox;
class QFileSystemWatcher;
class QTimer;
struct PortSetting;

class PortChoice : public QObject {
public:
    static constexpr int kRefreshMs = 2000;  // where /dev cannot be watched
    static constexpr int kSettleMs = 500;
    static constexpr int kComPorts = 8;
    using Lister = std::function<QList<comm::DetectedPort>()>;

    using RefusedFn = std::function<void(const QString& why)>;
    using ChosenFn = std::function<void()>;

    // port: the connection's, which a choice changes; refused hears why a
    // name is no port, chosen that the port changed (to be stored).
    PortChoice(PortSetting& port, QComboBox* combo, RefusedFn refused, ChosenFn chosen);

    // Lists the detected ports now and from then on whenever they may have changed.
    void Start();
    // Re-lists the detected ports in the background; the box follows when done.
    void Refresh();
    // Lists made so far (tests wait for the next one).
    int Listings() const { return listings_; }
    // Shows the current port in the box.
    void ShowCurrent();
    // `--port NAME` (empty: none): this run opens NAME and shows it.
    void SetForRun(const QString& name);
    // Takes a name typed or an item's text; false (nothing changed) when it is no port.
    bool Choose(const QString& text);
    // Where the detected ports come from (tests stand in for adapters).
    void SetLister(Lister lister) { lister_ = std::move(lister); }

private:
    // Shows a new list, keeping what the box shows.
    void Apply(const QList<comm::DetectedPort>& detected);

    PortSetting& port_;
    RefusedFn refused_;
    ChosenFn chosen_;
    QComboBox* combo_;
    QTimer* timer_;
    QFileSystemWatcher* watcher_ = nullptr;
    Lister lister_;
    QList<comm::DetectedPort> listed_;
    bool listing_ = false;  // a listing runs on the pool
    bool again_ = false;    // asked for while one ran: list once more after it
    int listings_ = 0;
};
