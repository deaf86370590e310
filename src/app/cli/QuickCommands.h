#pragma once

#include <QStringList>

// The runs `wrenlark` answers before it loads the rest of the command line
// (the module wrenlark-commands.so, app/commands_main.cpp): the version, and
// `toggle`, which desktops start on every press of their shortcut. They need
// Qt Core and D-Bus only, so that is all `wrenlark` itself loads.
namespace QuickCommands {

// `--version` (`-v`, `version`), or `toggle` (`--toggle`) alone.
bool handles(int argc, char *argv[]);
// Runs one of those; the exit status.
int run(int argc, char *argv[]);

int printVersion();
// `wrenlark toggle` with the arguments after its name.
int toggle(const QStringList &arguments);

} // namespace QuickCommands
