#pragma once

#include <QString>
#include <QStringList>

// What the user is told about this desktop, one plain sentence each: how to
// get a global shortcut where no application may register one, and what
// else the desktop keeps Wrenlark from doing. Empty where nothing is lacking.
struct DesktopNotices
{
    QString shortcut;
    QStringList capabilities;
};
