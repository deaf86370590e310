#include "core/settings/UserDefaults.h"

#include "core/settings/SettingsKeys.h"
#include "core/support/Logging.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
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
    write([&] { m_settings.setValue(key, value); });
}

void UserDefaults::remove(const QString &key)
{
    write([&] { m_settings.remove(key); });
}

void UserDefaults::update(const QString &key,
                          const std::function<QVariant(const QVariant &)> &change)
{
    write([&] {
        const QVariant changed = change(m_settings.value(key));
        if (changed.isValid())
            m_settings.setValue(key, changed);
        else
            m_settings.remove(key);
    });
}

void UserDefaults::refresh() const
{
    // Re-reads the file when another instance or process changed it.
    m_screen.screen();
    m_settings.sync();
}

void UserDefaults::write(const std::function<void()> &write)
{
    const QString path = m_settings.fileName();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QLockFile writing(path + QStringLiteral(".write.lock"));
    if (!writing.lock()) {
        qCWarning(lcSettings).noquote()
            << QStringLiteral("Could not lock the settings file %1 for writing.").arg(path);
        return;
    }
    refresh();
    const QDateTime before = QFileInfo(path).lastModified();
    write();
    m_settings.sync();
    if (m_settings.status() == QSettings::AccessError) {
        qCWarning(lcSettings).noquote()
            << QStringLiteral("Could not write the settings file %1.").arg(path);
        return;
    }
    if (before.isValid() && QFileInfo(path).lastModified() <= before) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) ||
            !file.setFileTime(before.addMSecs(1), QFileDevice::FileModificationTime))
            qCWarning(lcSettings).noquote()
                << QStringLiteral("Could not mark the settings file %1 as changed.").arg(path);
    }
}
