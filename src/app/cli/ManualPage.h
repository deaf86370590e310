#pragma once

#include <QString>

// The manual page wrenlark(1) in roff, made from the same command table and
// texts as `wrenlark --help`, so the two cannot drift apart. The build writes
// it with `wrenlark --manual-page`.
namespace ManualPage {

QString text();

// `text` made safe for roff: backslashes escaped, dashes as minus signs, and
// lines that would start with a control character protected.
QString escaped(const QString &text);

} // namespace ManualPage
