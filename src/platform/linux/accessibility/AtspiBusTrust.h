#pragma once

#include "core/desktop/AccessibilityTrust.h"

// Accessibility is "trusted" when the session's accessibility bus is
// enabled (org.a11y.Status.IsEnabled): only then do applications expose
// their text. Asking for trust switches it on. Callable from any thread.
class AtspiBusTrust : public AccessibilityTrust
{
public:
    bool isTrusted() override;
    bool requestTrust() override;
};
