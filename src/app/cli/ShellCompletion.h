#pragma once

#include <QString>
#include <optional>

// Tab completion for bash, zsh and fish, made from the command table (the
// commands, each command's options as its usage line names them) and the
// provider identifiers, so it follows the commands as they change. The build
// writes the scripts with `wrenlark --completion SHELL`.
namespace ShellCompletion {

// Absent for a shell other than "bash", "zsh" or "fish".
std::optional<QString> script(const QString &shell);

} // namespace ShellCompletion
