// Test fixture: the bridge core on a simulated KESTRA, reached through a
// symbolic link that follows the simulator when it is unplugged and back.
#pragma once

#include "BridgeCore.h"
#include "KestraSim.h"

#include <QTemporaryDir>

#include <memory>

struct SimCore {
    static sim::SimOptions Options(const QTemporaryDir& dir)
    {
        sim::SimOptions o;
        o.linkPath = dir.filePath(QStringLiteral("kestra")).toStdString();
        o.keepReceived = false;
        return o;
    }

    QTemporaryDir dir;
    sim::KestraSim device{Options(dir)};
    std::unique_ptr<BridgeCore> core;

    bool Start()
    {
        const std::string path = device.Start();
        core = std::make_unique<BridgeCore>(QString::fromStdString(path));
        return !path.empty() && core->start();
    }
    sim::Settings Live() const { return device.State().live; }
};
