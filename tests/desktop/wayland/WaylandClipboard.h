#pragma once

#include <QString>

// The compositor's clipboard as another client sees it: wl-paste and
// wl-copy reach it through the data-control protocol, without the focus.
namespace WaylandClipboard {

QString text();
// wl-copy stays in the background to serve it; the session ends it.
void setText(const QString &text);

} // namespace WaylandClipboard
