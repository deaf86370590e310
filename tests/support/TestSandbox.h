#pragma once

#include <QString>
#include <memory>

class QTemporaryDir;

// Helpers for the per-test sandbox that CTest sets up (HOME and XDG folders
// inside the build tree).
namespace TestSandbox {
// Reads the whole file; empty when missing.
QByteArray readFile(const QString &path);
// The log file the shared FileLogger writes to, after flushing it.
QString flushedLog();
// Points HOME, the XDG folders and WRENLARK_TEST_SANDBOX at a new temporary
// folder, for a program outside CTest (a benchmark); call before anything
// reads them. The folder lives as long as the returned object.
std::unique_ptr<QTemporaryDir> makeTemporaryHome();
} // namespace TestSandbox
