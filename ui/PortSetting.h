// The port the window connects to: as the user chose it, as the settings keep
// it, and the one a run was told to use instead.
#pragma once

#include <QString>

struct PortSetting {
    int number = 1;  // COM port 1..8
    // A port chosen by name (detected, typed path, tcp://, rfc2217://); when
    // empty the port is COM<number>. Kept beside the number in the settings.
    QString name;
    // `--port NAME`: this run opens NAME instead of the stored port (never
    // stored); a port the user then chooses ends it.
    QString forRun;

    // The port in use as the user knows it: the run's, else the chosen name,
    // else "COM<number>".
    QString Label() const
    {
        return !forRun.isEmpty() ? forRun : name.isEmpty() ? QStringLiteral("COM%1").arg(number) : name;
    }
};
