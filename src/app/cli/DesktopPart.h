#pragma once

#include <string>

// Wrenlark is two executables, so that the command line loads only what it
// uses: `wrenlark` (Qt Core, Network and D-Bus, the core and the keyring) and
// `wrenlark-desktop`, which links the desktop libraries (widgets, X11,
// AT-SPI, Wayland). `wrenlark` hands the runs below over to it by exec: same
// process, same arguments, so whoever started `wrenlark` keeps its process id.
namespace DesktopPart {

// The hidden command that keeps serving a clipboard after the process that
// owned it has exited: `wrenlark __keep-clipboard FILE`.
inline constexpr char keepClipboardCommand[] = "__keep-clipboard";

// `wrenlark` alone starts the resident application; so does the login item,
// with its argument.
bool startsResidentApplication(int argc, char *argv[], bool *startedAtLogin);

// Commands that work with the desktop (its clipboard, keyboard, windows and
// tray): `ask ... --from-selection`, the clipboard keeper, and `doctor` when
// the environment names a display or a desktop.
bool needsDesktop(int argc, char *argv[]);

// Whether `wrenlark` hands this run over to `wrenlark-desktop`.
bool handlesRun(int argc, char *argv[]);

// Replaces this process with `wrenlark-desktop`, telling it where `wrenlark`
// is (WrenlarkCommand). Returns only when that failed, with the exit status.
int exec(char *argv[]);

// Where a file of Wrenlark's own that users never run (`wrenlark-desktop`,
// the keyring module) is: beside `wrenlark` in the build folder, in
// libexec/wrenlark when installed. Empty when this program's own path is
// unknown.
std::string privateFilePath(const char *fileName);

} // namespace DesktopPart
