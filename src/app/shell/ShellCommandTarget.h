#pragma once

#include "shell/ActivationRequest.h"

#include <QString>
#include <QVariantMap>

// What other processes may ask of the running application over D-Bus.
class ShellCommandTarget
{
public:
    virtual ~ShellCommandTarget() = default;

    // The application was started again (a launcher, `wrenlark`).
    virtual void reopen(const ActivationRequest &activation) = 0;
    virtual void toggle(const ActivationRequest &activation) = 0;
    // Opens the bar (when closed) and sends the saved command `shorthand`
    // about the selection.
    virtual void runCommand(const QString &shorthand, const ActivationRequest &activation) = 0;
    virtual void showPreferences(const QString &source, const ActivationRequest &activation) = 0;
    virtual void showOnboarding(const ActivationRequest &activation) = 0;
    // Lets the user drag a screen region and opens the bar about it.
    virtual void startCapture(const ActivationRequest &activation) = 0;
    virtual void quit() = 0;
    // What `wrenlark doctor` shows of the running application.
    virtual QVariantMap diagnostics() const = 0;
};
