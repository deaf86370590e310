#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

class ClipboardAccess;
class X11Desktop;

// The X11 PRIMARY selection: the text the user last selected, served by the
// application that holds it. Reading it is exact and leaves the clipboard
// alone, but it is taken only when its owner is the expected process, so a
// stale selection of another application is never mistaken for this one's.
// Main thread only.
namespace PrimarySelection {

// The selected text of `pid`; absent when another process (or nobody) owns
// PRIMARY, or its text is empty.
std::optional<QString> textOwnedBy(qint32 pid, X11Desktop &x11, ClipboardAccess &clipboard);

} // namespace PrimarySelection
