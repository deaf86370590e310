#include "ui/AppNotifications.h"

AppNotifications &AppNotifications::shared()
{
    // Never destroyed: receivers may disconnect from it during shutdown.
    static AppNotifications *notifications = new AppNotifications;
    return *notifications;
}
