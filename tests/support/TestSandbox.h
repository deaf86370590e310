#pragma once

#include <QString>

// Helpers for the per-test sandbox that CTest sets up (HOME and XDG folders
// inside the build tree).
namespace TestSandbox {
// Reads the whole file; empty when missing.
QByteArray readFile(const QString &path);
// The log file the shared FileLogger writes to, after flushing it.
QString flushedLog();
} // namespace TestSandbox
