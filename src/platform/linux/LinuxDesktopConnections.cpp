#include "platform/linux/LinuxDesktopConnections.h"

#include "platform/linux/selection/AtspiWorker.h"

// The AT-SPI thread starts following focus changes at once, so the focused
// element of the application the user comes from is known when the bar
// opens.
LinuxDesktopConnections::LinuxDesktopConnections()
    : atspi(*new AtspiWorker)
{
}
