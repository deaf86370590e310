#include "GnomeShell.h"

#include <QDBusObjectPath>
#include <QDBusReply>

namespace GnomeShell {

QString eval(const QString &script)
{
    QDBusInterface shell(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                         QStringLiteral("org.gnome.Shell"));
    const QDBusMessage reply = shell.call(QStringLiteral("Eval"), script);
    const QList<QVariant> values = reply.arguments();
    if (values.size() != 2 || !values.first().toBool())
        return {};
    return values.at(1).toString();
}

qint64 focusedPid()
{
    return eval(QStringLiteral("global.display.focus_window ? "
                               "global.display.focus_window.get_pid() : 0"))
        .toLongLong();
}

Keyboard::Keyboard()
{
    QDBusInterface desktop(QStringLiteral("org.gnome.Mutter.RemoteDesktop"),
                           QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                           QStringLiteral("org.gnome.Mutter.RemoteDesktop"));
    const QDBusReply<QDBusObjectPath> session = desktop.call(QStringLiteral("CreateSession"));
    if (!session.isValid())
        return;
    m_session = std::make_unique<QDBusInterface>(
        QStringLiteral("org.gnome.Mutter.RemoteDesktop"), session.value().path(),
        QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session"));
    m_session->call(QStringLiteral("Start"));
    // The first key of a new session may be lost: a harmless one first.
    press({42});
}

Keyboard::~Keyboard()
{
    if (m_session)
        m_session->call(QStringLiteral("Stop"));
}

void Keyboard::press(const QList<uint> &codes)
{
    for (const uint code : codes)
        m_session->call(QStringLiteral("NotifyKeyboardKeycode"), code, true);
    for (auto code = codes.crbegin(); code != codes.crend(); ++code)
        m_session->call(QStringLiteral("NotifyKeyboardKeycode"), *code, false);
}

} // namespace GnomeShell
