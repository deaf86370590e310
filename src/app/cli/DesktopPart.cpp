#include "cli/DesktopPart.h"

#include "cli/CliCommand.h"
#include "core/desktop/LoginItemService.h"
#include "core/support/WrenlarkCommand.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace DesktopPart {

namespace {

bool isSet(const char *variable)
{
    const char *value = std::getenv(variable);
    return value && *value;
}

// Without any of these there is no display to check, and the command line
// answers `doctor` itself.
bool namesDisplayOrDesktop()
{
    return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("XDG_CURRENT_DESKTOP");
}

std::filesystem::path ownPath()
{
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error);
}

} // namespace

bool startsResidentApplication(int argc, char *argv[], bool *startedAtLogin)
{
    *startedAtLogin =
        argc == 2 && LoginItemService::startedAtLoginArgument == QLatin1String(argv[1]);
    return argc == 1 || *startedAtLogin;
}

bool needsDesktop(int argc, char *argv[])
{
    if (argc < 2)
        return false;
    const std::string_view command(argv[1]);
    if (command == keepClipboardCommand)
        return true;
    if (command == "doctor")
        return namesDisplayOrDesktop();
    if (command != "ask")
        return false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--from-selection")
            return true;
        if (argument == "--" || !argument.starts_with('-'))
            return false;
    }
    return false;
}

bool handlesRun(int argc, char *argv[])
{
    bool startedAtLogin = false;
    return startsResidentApplication(argc, argv, &startedAtLogin) || needsDesktop(argc, argv);
}

std::string privateFilePath(const char *fileName)
{
    const std::filesystem::path self = ownPath();
    if (self.empty())
        return {};
    const std::filesystem::path beside = self.parent_path() / fileName;
    if (std::filesystem::exists(beside))
        return beside;
    return (self.parent_path() / WRENLARK_PRIVATE_FROM_BINDIR / fileName).lexically_normal();
}

int exec(char *argv[])
{
    const std::string desktop = privateFilePath(WrenlarkCommand::desktopExecutableName);
    if (desktop.empty()) {
        std::fputs("wrenlark: cannot tell where this program is (/proc is not mounted?)\n", stderr);
        return ExitStatus::failure;
    }
    setenv(WrenlarkCommand::pathVariable, ownPath().c_str(), 1);
    execv(desktop.c_str(), argv);
    std::fprintf(stderr, "wrenlark: cannot start %s: %s\n", desktop.c_str(), std::strerror(errno));
    return ExitStatus::failure;
}

} // namespace DesktopPart
