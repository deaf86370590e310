#pragma once

#include <QString>

// Whether a name has an owner on the session bus, asked with a bound of a
// second (QtDBus's own call would wait up to 25 s on a stuck bus). For the
// probes that pick a desktop's methods at start-up.
namespace SessionBusName {

bool hasOwner(const QString &name);

} // namespace SessionBusName
