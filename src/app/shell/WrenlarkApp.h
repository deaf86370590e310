#pragma once

// The resident application: one process per session that lives in the
// tray, answers the global shortcut and shows the command bar.
namespace WrenlarkApp {

// `wrenlark` with no arguments (or the login item's argument). Returns the
// exit status. Builds its own QApplication.
int run(int &argc, char **argv, bool startedAtLogin);

// Why the resident application cannot start here (no display); empty when
// it can.
const char *missingDesktopMessage();
bool hasDesktopSession();

} // namespace WrenlarkApp
