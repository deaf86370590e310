#include "core/settings/UserDefaults.h"

#include "core/settings/SettingsKeys.h"
#include "core/support/Logging.h"

#include <QStandardPaths>

QString UserDefaults::standardFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Wrenlark/Wrenlark.conf");
}

UserDefaults::UserDefaults()
    : UserDefaults(standardFilePath())
{
}

UserDefaults::UserDefaults(const QString &filePath)
    : m_screen(filePath)
    , m_settings(filePath, QSettings::IniFormat)
{
}

bool UserDefaults::contains(const QString &key) const
{
    refresh();
    return m_settings.contains(key);
}

QVariant UserDefaults::value(const QString &key) const
{
    refresh();
    if (m_settings.contains(key))
        return m_settings.value(key);
    return SettingsKeys::defaultValue(key);
}

std::optional<QString> UserDefaults::string(const QString &key) const
{
    const QVariant stored = value(key);
    if (!stored.isValid() || !stored.canConvert<QString>())
        return std::nullopt;
    return stored.toString();
}

std::optional<QByteArray> UserDefaults::data(const QString &key) const
{
    const QVariant stored = value(key);
    if (!stored.isValid() || !stored.canConvert<QByteArray>())
        return std::nullopt;
    return stored.toByteArray();
}

bool UserDefaults::boolValue(const QString &key) const
{
    return value(key).toBool();
}

void UserDefaults::setValue(const QString &key, const QVariant &value)
{
    refresh();
    m_settings.setValue(key, value);
    commit();
}

void UserDefaults::remove(const QString &key)
{
    refresh();
    m_settings.remove(key);
    commit();
}

void UserDefaults::refresh() const
{
    // Re-reads the file when another instance or process changed it.
    m_screen.screen();
    m_settings.sync();
}

void UserDefaults::commit()
{
    m_settings.sync();
    if (m_settings.status() == QSettings::AccessError)
        qCWarning(lcSettings).noquote()
            << QStringLiteral("Could not write the settings file %1.").arg(m_settings.fileName());
}
