#pragma once

#include "core/desktop/TargetAppClassifier.h"

#include <QStringList>

// Browser-like hosts recognised from /proc: browsers by executable or
// sandbox id, Chromium web-app windows by their command line, Electron and
// embedded-Chromium applications by the files beside their executable.
// Thread-safe; nothing is cached.
class LinuxTargetAppClassifier : public TargetAppClassifier
{
public:
    bool isBrowserLikeHostProcess(qint32 pid) const override;

    // The rules on their own, for processes described by hand.
    static bool isBrowserName(const QString &lowerCaseName);
    static bool isChromiumFamilyName(const QString &lowerCaseName);
    static bool isWebAppCommandLine(const QStringList &arguments);
    static bool isEmbeddedChromiumFolder(const QString &executableFolder);
};
