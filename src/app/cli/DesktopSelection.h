#pragma once

#include "core/desktop/SelectionContext.h"

#include <optional>

class ClipboardAccess;

// `wrenlark ask --from-selection [--replace]`: the selection of the frontmost
// application stands in for standard input, and the reply can be written
// back over it, through the same desktop services as the command bar.
namespace DesktopSelection {

// Whether an X display can be reached (DISPLAY is set).
bool hasDisplay();
// Makes Qt use the X11 platform when an X server is there (also under
// Wayland, through XWayland), which the selection services work through,
// unless the user chose a platform with QT_QPA_PLATFORM.
void prepareDesktop();

// Reads the selection (or the caret) of the frontmost application. Prints
// why to standard error and sets `exitStatus` when there is none.
std::optional<SelectionContext> read(int *exitStatus);

// The hidden command that keeps serving a clipboard after this process has
// exited: `wrenlark __keep-clipboard FILE` (DesktopPart::keepClipboardCommand).
int keepClipboard(const QString &snapshotFile);

// Before this process exits: waits until no probe or paste holds the
// clipboard, then hands a clipboard this process still owns to a keeper
// process (X11 clipboards live in their owner).
void settleClipboard(ClipboardAccess &clipboard);

// Writes `reply` over the selection it was read from (at the caret for an
// insertion point) and waits until the user's clipboard is back where a
// paste borrowed it. Returns the exit status.
int replace(const SelectionContext &context, const QString &reply);

} // namespace DesktopSelection
