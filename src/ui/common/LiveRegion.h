#pragma once

#include <QString>

class QLabel;

// Status texts that a screen reader speaks as they appear, not only when the
// user happens to read them: such a label is a notification to AT-SPI, and
// each new text raises its "showing" state again, which Orca announces.
namespace LiveRegion {

// Before the label is first shown.
void mark(QLabel *label);
// Shows `text` on a marked label (hides it when empty) and announces it.
void show(QLabel *label, const QString &text);
// Announces `text` from a marked label without drawing it: for what a
// sighted user sees in another way (an animation that stops).
void announce(QLabel *label, const QString &text);

} // namespace LiveRegion
