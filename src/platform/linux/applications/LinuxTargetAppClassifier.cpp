#include "platform/linux/applications/LinuxTargetAppClassifier.h"

#include "platform/linux/applications/ProcessInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

const QSet<QString> &browserNames()
{
    static const QSet<QString> names{
        // Executables and window classes.
        QStringLiteral("firefox"), QStringLiteral("firefox-esr"), QStringLiteral("firefox-bin"),
        QStringLiteral("firefox-developer-edition"), QStringLiteral("librewolf"),
        QStringLiteral("waterfox"), QStringLiteral("floorp"), QStringLiteral("zen"),
        QStringLiteral("zen-bin"), QStringLiteral("zen-browser"), QStringLiteral("chromium"),
        QStringLiteral("chromium-browser"), QStringLiteral("chrome"),
        QStringLiteral("google-chrome"), QStringLiteral("google-chrome-stable"),
        QStringLiteral("google-chrome-beta"), QStringLiteral("google-chrome-unstable"),
        QStringLiteral("brave"), QStringLiteral("brave-browser"), QStringLiteral("msedge"),
        QStringLiteral("microsoft-edge"), QStringLiteral("microsoft-edge-stable"),
        QStringLiteral("microsoft-edge-beta"), QStringLiteral("vivaldi"),
        QStringLiteral("vivaldi-bin"), QStringLiteral("vivaldi-stable"), QStringLiteral("opera"),
        // Flatpak and Snap ids.
        QStringLiteral("org.mozilla.firefox"), QStringLiteral("org.chromium.chromium"),
        QStringLiteral("com.google.chrome"), QStringLiteral("com.brave.browser"),
        QStringLiteral("com.microsoft.edge"), QStringLiteral("com.vivaldi.vivaldi"),
        QStringLiteral("com.opera.opera"), QStringLiteral("io.gitlab.librewolf-community"),
        QStringLiteral("app.zen_browser.zen"), QStringLiteral("net.waterfox.waterfox"),
        QStringLiteral("one.ablaze.floorp")};
    return names;
}

} // namespace

bool LinuxTargetAppClassifier::isBrowserName(const QString &lowerCaseName)
{
    return browserNames().contains(lowerCaseName);
}

bool LinuxTargetAppClassifier::isChromiumFamilyName(const QString &name)
{
    static const QStringList families{
        QStringLiteral("chrom"),          QStringLiteral("chrome"),
        QStringLiteral("brave"),          QStringLiteral("msedge"),
        QStringLiteral("microsoft-edge"), QStringLiteral("vivaldi"),
        QStringLiteral("opera"),          QStringLiteral("com.google.chrome"),
        QStringLiteral("org.chromium.")};
    for (const QString &family : families) {
        if (name.startsWith(family))
            return true;
    }
    return false;
}

bool LinuxTargetAppClassifier::isWebAppCommandLine(const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        if (argument.startsWith(QLatin1String("--app-id=")) ||
            argument.startsWith(QLatin1String("--app=")))
            return true;
    }
    return false;
}

bool LinuxTargetAppClassifier::isEmbeddedChromiumFolder(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    const QDir dir(folder);
    if (dir.exists(QStringLiteral("resources/app.asar")) || dir.exists(QStringLiteral("libcef.so")))
        return true;
    return dir.exists(QStringLiteral("libffmpeg.so")) &&
           !dir.entryList({QStringLiteral("*.pak")}, QDir::Files).isEmpty();
}

bool LinuxTargetAppClassifier::isBrowserLikeHostProcess(qint32 pid) const
{
    if (pid == 0 || !ProcessInfo::exists(pid))
        return false;
    const QStringList names = ProcessInfo::names(pid);
    for (const QString &name : names) {
        if (isBrowserName(name))
            return true;
    }
    for (const QString &name : names) {
        if (isChromiumFamilyName(name) && isWebAppCommandLine(ProcessInfo::commandLine(pid)))
            return true;
    }
    const QString executable = ProcessInfo::executablePath(pid);
    return !executable.isEmpty() && isEmbeddedChromiumFolder(QFileInfo(executable).absolutePath());
}
