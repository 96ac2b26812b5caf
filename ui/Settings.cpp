#include "Settings.h"

#include "PortName.h"

#include <QSettings>
#include <QVariant>

namespace {
constexpr int kMinPort = 1;
constexpr int kMaxPort = 8;

// A stored value as a 32-bit number, whatever type it was stored as.
bool ToInt32(const QVariant& v, qint32& out)
{
    if (!v.isValid()) {
        return false;
    }
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (!ok || n < INT32_MIN || n > UINT32_MAX) {
        return false;
    }
    out = static_cast<qint32>(static_cast<quint32>(n));
    return true;
}
}  // namespace

void ApplyStoredPort(const QVariant& stored, PanelSettings& settings)
{
    qint32 port = 0;
    if (ToInt32(stored, port) && port >= kMinPort && port <= kMaxPort) {
        settings.portNo = port;
    }
}

void ApplyStoredPortName(const QVariant& stored, PanelSettings& settings)
{
    if (stored.typeId() == QMetaType::QString && comm::ParsePortName(stored.toString()).Ok()) {
        settings.portName = stored.toString().trimmed();
    }
}

void ApplyStoredLanguage(const QVariant& stored, PanelSettings& settings)
{
    qint32 language = 0;
    if (ToInt32(stored, language) && (language == 0 || language == 1)) {
        settings.language = static_cast<std::uint8_t>(language);
    }
}

SettingsStore::SettingsStore()
#ifdef Q_OS_WIN
    : settings_(std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\VELDORATEST"),
                                            QSettings::NativeFormat))
#else
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QStringLiteral("VELDORATEST")))
#endif
{
}

SettingsStore::SettingsStore(const QString& iniFile)
    : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat))
{
}

SettingsStore::~SettingsStore() = default;

bool SettingsStore::Sync()
{
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

bool SettingsStore::LoadOrInitialise(PanelSettings& settings)
{
    if (settings_->status() != QSettings::NoError) {
        return false;
    }
    if (settings_->allKeys().isEmpty()) {
        settings_->setValue(kPortKey, settings.portNo);
        settings_->setValue(kLanguageKey, static_cast<int>(settings.language));
        return Sync();
    }
    ApplyStoredPort(settings_->value(kPortKey), settings);
    ApplyStoredPortName(settings_->value(kPortNameKey), settings);
    ApplyStoredLanguage(settings_->value(kLanguageKey), settings);
    // Written for compatibility with earlier stores; never read back.
    settings_->setValue(kFormSizeKey, 0);
    return Sync();
}

bool SettingsStore::Save(const PanelSettings& settings)
{
    settings_->setValue(kPortKey, settings.portNo);
    WritePortName(settings.portName);
    settings_->setValue(kLanguageKey, static_cast<int>(settings.language));
    settings_->setValue(kFormSizeKey, 0);
    return Sync();
}

bool SettingsStore::SavePort(int portNo, const QString& portName)
{
    settings_->setValue(kPortKey, portNo);
    WritePortName(portName);
    return Sync();
}

bool SettingsStore::Flag(const char* key) const
{
    qint32 value = 0;
    return ToInt32(settings_->value(QLatin1String(key)), value) && value == 1;
}

bool SettingsStore::SaveFlag(const char* key, bool on)
{
    if (on) {
        settings_->setValue(QLatin1String(key), 1);
    } else {
        settings_->remove(QLatin1String(key));
    }
    return Sync();
}

void SettingsStore::WritePortName(const QString& portName)
{
    // Only a store that names a port carries the value: COM1..COM8 stay numbers alone.
    if (portName.isEmpty()) {
        settings_->remove(kPortNameKey);
    } else {
        settings_->setValue(kPortNameKey, portName);
    }
}
