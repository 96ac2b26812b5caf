// The panel's own settings: port number and language, kept between runs in
// the store named "VELDORATEST" (on Windows the registry key
// HKEY_CURRENT_USER\Software\VELDORATEST with DWORD values, elsewhere the
// platform's native settings file of that name).
//
// Failures are silent: an unreadable store leaves the defaults in force.
// A stored port outside 1..8 or a language other than 0 and 1 is not taken
// either, so nothing can index outside the port list or the language items.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>

class QSettings;

struct PanelSettings {
    int portNo = 1;
    std::uint8_t language = 0;
    // A port by name, stored beside the number; empty: the number's COM port.
    // A store from before names has only the number and reads as before.
    QString portName;
};

class SettingsStore {
public:
    // The production store.
    SettingsStore();
    // A store at an explicit file (tests, --settings).
    explicit SettingsStore(const QString& iniFile);
    ~SettingsStore();

    // First run (the store is new): writes the given values. Otherwise reads
    // them into `settings` and writes "Form Size". False when the store could
    // not be used.
    bool LoadOrInitialise(PanelSettings& settings);
    bool Save(const PanelSettings& settings);
    bool SavePort(int portNo, const QString& portName = {});
    // An on/off choice kept only while on, so that a store where it was
    // never chosen stays as it always was.
    bool Flag(const char* key) const;
    bool SaveFlag(const char* key, bool on);

    static constexpr const char* kPortKey = "Port No";
    static constexpr const char* kPortNameKey = "Port Name";
    static constexpr const char* kLanguageKey = "Language";
    static constexpr const char* kFormSizeKey = "Form Size";
    static constexpr const char* kReconnectKey = "Reconnect";

private:
    bool Sync();
    void WritePortName(const QString& portName);
    std::unique_ptr<QSettings> settings_;
};

// Interprets stored values the way LoadOrInitialise does (exposed for tests
// and the fuzzer): valid values replace the defaults in `settings`.
void ApplyStoredPort(const QVariant& stored, PanelSettings& settings);
// A stored name is taken only when it is a port name (PortName.h).
void ApplyStoredPortName(const QVariant& stored, PanelSettings& settings);
void ApplyStoredLanguage(const QVariant& stored, PanelSettings& settings);
