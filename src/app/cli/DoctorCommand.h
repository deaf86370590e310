#pragma once

#include "cli/CliCommand.h"

#include <QList>

// `wrenlark doctor`: what this desktop offers Wrenlark, one line each. With a
// display (or a desktop) named in the environment, `wrenlark` hands it over
// to the desktop executable, whose checks (DoctorChecks::run) ask the display
// server too; without one it checks here what the command line can use.
CliCommand doctorCommand(const std::shared_ptr<SecretStore> &secrets,
                         const DesktopCommands &desktop);

// One line of the report.
struct DoctorCheck
{
    QString name;
    QString answer;
    // Reading and replacing selections need it.
    bool essential = false;
    bool ok = true;
};

// The checks any process can make, over the session bus, the keyring and the
// settings; and the report.
namespace DoctorChecks {

// "none": neither DISPLAY nor WAYLAND_DISPLAY is set.
DoctorCheck noDisplayServer();
DoctorCheck secretService(SecretStore &secrets);
DoctorCheck shortcutPortal();
QList<DoctorCheck> runningApplication();
QList<DoctorCheck> providerProxy(const std::shared_ptr<SecretStore> &secrets);

// Prints the report; the exit status says whether every essential check
// passed.
int print(const QList<DoctorCheck> &checks);

// The whole report, with the display's checks: the desktop executable's.
// `secrets` is the desktop's secret store, where the settings keep keys.
int run(const std::shared_ptr<SecretStore> &secrets);

} // namespace DoctorChecks
