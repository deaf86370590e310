#pragma once

#include <QString>
#include <QUrl>

// The e-mail address the Support items write to: configuration data in
// support.json (resources), which a file of the same name in
// $XDG_CONFIG_HOME/Wrenlark/ replaces.
namespace SupportEmail {

QString address();
// mailto:<address>?subject=<subject>, percent-encoded; invalid when no
// usable URL results.
QUrl helpUrl(const QString &subject);

} // namespace SupportEmail
