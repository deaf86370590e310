#pragma once

#include <QString>

// Text from outside (a server's error message, a model name, a redirect's
// query) may hold terminal control sequences: ESC sequences clear the
// screen, set the window title or paint text that was never sent. These
// helpers make such text inert before it reaches a terminal or a log line.
namespace ControlCharacters {

// Whether `c` controls a terminal or reorders text: C0 and C1 controls, DEL,
// and the bidirectional embedding, override and isolate marks.
bool isControl(QChar c);

// `text` without its control characters, except line feed and tab.
QString stripped(const QString &text);

// `text` with every control character except line feed and tab written as a
// visible escape: "\r", "\x1b", "\u202e".
QString escaped(const QString &text);

} // namespace ControlCharacters
