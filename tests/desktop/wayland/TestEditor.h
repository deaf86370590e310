#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// The Qt 6 test editor on the compositor, a native Wayland client or an
// XWayland one, answering the commands of its standard input.
class TestEditor
{
public:
    ~TestEditor();

    // Runs it under another program name (through a link of that name),
    // as the application that name stands for. Before start().
    void setProgramName(const QString &name) { m_programName = name; }
    // Without accessibility it finds no AT-SPI bus (nor a session bus), as
    // an application that exposes nothing to screen readers. Before start().
    void setAccessible(bool accessible) { m_accessible = accessible; }
    // `platform` is the Qt platform plugin: "wayland" or "xcb".
    bool start(const QString &text, const QString &title,
               const QString &platform = QStringLiteral("wayland"));
    qint64 pid() const { return m_process.processId(); }
    QString ask(const QString &command);
    QString documentText();

private:
    QString readLine();

    QProcess m_process;
    QTemporaryDir m_linkFolder;
    QString m_programName;
    bool m_accessible = true;
};
