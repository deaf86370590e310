#pragma once

#include <QDBusConnection>
#include <QList>
#include <QString>
#include <QVariantMap>

// Reads a tray icon's menu the way a StatusNotifierItem tray host does:
// the item's Menu property, then com.canonical.dbusmenu GetLayout.
struct DBusMenuEntry
{
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuEntry> children;

    QString label() const;
    bool isSeparator() const;
    bool isVisible() const;
    // "Control+," from the shortcut property; empty when none.
    QString shortcut() const;
};

class DBusMenuReader
{
public:
    explicit DBusMenuReader(QDBusConnection bus);

    // The registered StatusNotifierItems ("service/path" or "service").
    QStringList registeredItems() const;
    // Finds the item of the process `pid`; false when none is registered.
    bool findItemOf(qint64 pid);

    QVariant itemProperty(const QString &name) const;
    DBusMenuEntry layout() const;
    // Tells the menu it is about to be shown, as a host does on a click.
    void aboutToShow(int id = 0) const;
    void click(int id) const;

private:
    QDBusConnection m_bus;
    QString m_service;
    QString m_itemPath;
    QString m_menuPath;
};
