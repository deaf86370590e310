#pragma once

#include "shell/ShellCommandTarget.h"

// Takes the D-Bus calls from the moment the bus name is claimed, which comes
// before the application is built so a second start hands over at once, and
// passes them to the target the root names once it exists. Calls are
// delivered from the event loop, which runs only after that.
class ShellCommandRelay final : public ShellCommandTarget
{
public:
    void deliverTo(ShellCommandTarget &target) { m_target = &target; }

    void reopen(const ActivationRequest &a) override { target().reopen(a); }
    void toggle(const ActivationRequest &a) override { target().toggle(a); }
    void runCommand(const QString &shorthand, const ActivationRequest &a) override
    {
        target().runCommand(shorthand, a);
    }
    void showPreferences(const QString &source, const ActivationRequest &a) override
    {
        target().showPreferences(source, a);
    }
    void showOnboarding(const ActivationRequest &a) override { target().showOnboarding(a); }
    void startCapture(const ActivationRequest &a) override { target().startCapture(a); }
    void quit() override { target().quit(); }
    QVariantMap diagnostics() const override { return target().diagnostics(); }

private:
    ShellCommandTarget &target() const
    {
        Q_ASSERT(m_target);
        return *m_target;
    }

    ShellCommandTarget *m_target = nullptr;
};
