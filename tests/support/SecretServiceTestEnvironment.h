#pragma once

#include <QString>
#include <optional>

// Tests that store secrets use the private gnome-keyring that
// tests/support/desktop-session starts, never the keyring of the developer's
// own session (which also has a session bus with a Secret Service on it).
namespace SecretServiceTestEnvironment {
// Why the private Secret Service cannot be used here; nothing when it can.
std::optional<QString> unavailableReason();
} // namespace SecretServiceTestEnvironment
