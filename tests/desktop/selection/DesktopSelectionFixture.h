#pragma once

#include "core/desktop/DesktopServices.h"
#include "support/DesktopTestSession.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>

// The two editors the selection tests write into: mousepad (GTK 3) and the
// Qt 6 test editor. Each starts with a given text and can tell what its
// document holds now.
class TestEditor
{
public:
    enum class Kind { gtk, qt };

    // `environment` adds variables, e.g. NO_AT_BRIDGE=1 for a GTK
    // application that exposes nothing to AT-SPI.
    static std::unique_ptr<TestEditor> start(Kind kind, const QString &text, QString *error,
                                             const QStringList &environment = {});

    Kind kind() const { return m_kind; }
    DesktopApp &app() { return *m_app; }
    qint32 pid() const { return m_app->pid(); }
    // The document's text now (the GTK editor saves it to its file first).
    QString documentText();
    // Brings the editor to the front and types keys into it.
    bool type(const QStringList &keys);

private:
    Kind m_kind = Kind::gtk;
    QTemporaryDir m_folder;
    QString m_path;
    std::unique_ptr<DesktopApp> m_app;
};

// Synchronous helpers over the asynchronous services (the event loop turns
// while they wait).
namespace SelectionTestSteps {

SelectionResult fetch(SelectionService &service, const SelectionRequest &request);
SelectionResult fetchClipboardOnly(SelectionService &service, const SelectionRequest &request);
// The operation's state once it ended (running when it never did).
ReplacementOperation::State replace(ReplacementService &service, const SelectionContext &context,
                                    const QString &text);
// Waits until the clipboard lock is free again (a paste restores after
// dispatching).
bool waitForClipboardIdle();

} // namespace SelectionTestSteps

// The X11 CLIPBOARD as another program sees it, through xclip.
namespace ClipboardAsSeen {

// The formats offered (TARGETS without the X11 bookkeeping ones); empty
// when nobody owns the clipboard.
QStringList formats();
QByteArray data(const QString &mimeType);

} // namespace ClipboardAsSeen
