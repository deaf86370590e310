#include "DesktopSelectionFixture.h"

#include "platform/linux/clipboard/ClipboardLock.h"

#include <QFile>
#include <QSignalSpy>

using namespace DesktopTestSession;

std::unique_ptr<TestEditor> TestEditor::start(Kind kind, const QString &text, QString *error,
                                              const QStringList &environment)
{
    std::unique_ptr<TestEditor> editor(new TestEditor);
    editor->m_kind = kind;
    editor->m_path = editor->m_folder.filePath(QStringLiteral("document.txt"));
    QFile file(editor->m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0) {
        *error = QStringLiteral("cannot write %1").arg(editor->m_path);
        return nullptr;
    }
    file.close();
    if (kind == Kind::gtk) {
        editor->m_app = DesktopApp::launch(QStringLiteral("mousepad"),
                                           {QStringLiteral("--disable-server"), editor->m_path},
                                           environment, error);
    } else {
        editor->m_app =
            DesktopApp::launch(QStringLiteral(WRENLARK_TEST_EDITOR),
                               {QStringLiteral("--file"), editor->m_path}, environment, error);
        if (editor->m_app && editor->m_app->readLine() != QLatin1String("ready")) {
            *error = QStringLiteral("the Qt editor did not get ready");
            return nullptr;
        }
    }
    if (!editor->m_app)
        return nullptr;
    // Let the toolkit finish mapping and focusing before keys arrive.
    settle(300);
    return editor;
}

QString TestEditor::documentText()
{
    if (m_kind == Kind::qt) {
        const QString answer = m_app->ask(QStringLiteral("text"));
        if (!answer.startsWith(QLatin1String("text ")))
            return QStringLiteral("<no answer>");
        return QString::fromUtf8(QByteArray::fromBase64(answer.mid(5).toLatin1()));
    }
    if (!type({QStringLiteral("ctrl+s")}))
        return QStringLiteral("<could not save>");
    settle(400);
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<unreadable>");
    return QString::fromUtf8(file.readAll());
}

bool TestEditor::type(const QStringList &keys)
{
    return m_app->activate() && m_app->keys(keys);
}

namespace SelectionTestSteps {

namespace {

SelectionResult await(SelectionFetch *raw)
{
    std::unique_ptr<SelectionFetch> fetch(raw);
    QSignalSpy finished(fetch.get(), &SelectionFetch::finished);
    if (!finished.wait(15000))
        qWarning("selection fetch did not finish");
    return fetch->result();
}

} // namespace

SelectionResult fetch(SelectionService &service, const SelectionRequest &request)
{
    return await(service.fetchSelection(request, nullptr));
}

SelectionResult fetchClipboardOnly(SelectionService &service, const SelectionRequest &request)
{
    return await(service.fetchSelectionViaClipboardOnly(request, nullptr));
}

ReplacementOperation::State replace(ReplacementService &service, const SelectionContext &context,
                                    const QString &text)
{
    std::unique_ptr<ReplacementOperation> operation(
        service.replaceSelection(context, text, nullptr));
    QSignalSpy finished(operation.get(), &ReplacementOperation::finished);
    finished.wait(15000);
    return operation->state();
}

bool waitForClipboardIdle()
{
    for (int i = 0; i < 300 && ClipboardLock::count() > 0; ++i)
        settle(20);
    return ClipboardLock::count() == 0;
}

} // namespace SelectionTestSteps

namespace ClipboardAsSeen {

QStringList formats()
{
    const ProcessResult result =
        run(QStringLiteral("xclip"),
            {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
             QStringLiteral("-t"), QStringLiteral("TARGETS")},
            5000);
    QStringList formats;
    if (!result.finished || result.exitCode != 0)
        return formats;
    for (const QByteArray &line : result.output.split('\n')) {
        const QString name = QString::fromUtf8(line).trimmed();
        if (name.isEmpty() || name == QLatin1String("TARGETS") ||
            name == QLatin1String("MULTIPLE") || name == QLatin1String("TIMESTAMP") ||
            name == QLatin1String("SAVE_TARGETS"))
            continue;
        formats.append(name);
    }
    return formats;
}

QByteArray data(const QString &mimeType)
{
    const ProcessResult result = run(QStringLiteral("xclip"),
                                     {QStringLiteral("-o"), QStringLiteral("-selection"),
                                      QStringLiteral("clipboard"), QStringLiteral("-t"), mimeType},
                                     5000);
    return result.finished && result.exitCode == 0 ? result.output : QByteArray();
}

} // namespace ClipboardAsSeen
