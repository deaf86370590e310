#include "cli/DoctorCommand.h"

#include "cli/Terminal.h"

CliCommand doctorCommand(const DesktopCommands &desktop)
{
    return {
        QStringLiteral("doctor"),
        QString(),
        QStringLiteral("Check what this desktop offers Wrenlark, one line each."),
        QStringLiteral("Checks the display server, the session (X11 or Wayland) and desktop,\n"
                       "whether Wrenlark runs as an X11 or a Wayland client and the method it\n"
                       "takes for synthesized keys and region capture, each with the reason;\n"
                       "the window manager (EWMH), the AT-SPI accessibility bus, XTest, the\n"
                       "Secret Service, a tray host, the route for the global shortcut and the\n"
                       "GlobalShortcuts portal; and, when the Wrenlark application runs, its\n"
                       "Qt platform, whether its shortcut was registered or refused and whether\n"
                       "its tray icon is shown.\n"
                       "\n"
                       "Exit status: 0 when everything reading and replacing selections needs is\n"
                       "there, 1 otherwise."),
        [desktop](const QStringList &arguments) {
            if (desktop.doctor)
                return desktop.doctor(arguments);
            Terminal::printError(QStringLiteral("wrenlark doctor: not available in this program"));
            return ExitStatus::failure;
        },
    };
}
