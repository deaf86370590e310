#include "support/SecretServiceTestEnvironment.h"

#include <QProcess>

namespace SecretServiceTestEnvironment {

namespace {

bool secretServiceOwned()
{
    QProcess probe;
    probe.start(QStringLiteral("dbus-send"),
                {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                 QStringLiteral("--dest=org.freedesktop.DBus"),
                 QStringLiteral("/org/freedesktop/DBus"),
                 QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
                 QStringLiteral("string:org.freedesktop.secrets")});
    if (!probe.waitForFinished(5000) || probe.exitCode() != 0)
        return false;
    return probe.readAllStandardOutput().contains("boolean true");
}

} // namespace

std::optional<QString> unavailableReason()
{
    if (qEnvironmentVariable("WRENLARK_DESKTOP_SESSION") != QStringLiteral("1"))
        return QStringLiteral("needs the private keyring of tests/support/desktop-session "
                              "(run: tests/support/desktop-session ctest ...)");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") || !secretServiceOwned())
        return QStringLiteral("no org.freedesktop.secrets on the private session bus "
                              "(is gnome-keyring installed?)");
    return std::nullopt;
}

} // namespace SecretServiceTestEnvironment
