#pragma once

#include <QString>

// Identity of this build: bundle identifier, version and build number, fixed
// at compile time by CMake.
namespace AppMetadata {
QString bundleID();
QString version();
QString build();
// version + "-" + build
QString versionWithBuild();
} // namespace AppMetadata
