#pragma once

#include <QString>

// Identity of this build: bundle identifier, version and build number, fixed
// at compile time by CMake.
namespace AppMetadata {
QString bundleID();
// The desktop's name for it: the desktop entry, the D-Bus name, the icon and
// the AppStream id. The keyring keeps the bundle id, so stored keys are found.
QString applicationID();
QString version();
QString build();
// version + "-" + build
QString versionWithBuild();
} // namespace AppMetadata
