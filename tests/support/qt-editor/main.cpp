// wrenlark-test-editor [--title TITLE] [--file PATH] [--text TEXT] [--paste-delay MS]
//
// One QPlainTextEdit in a window, the Qt 6 application of the desktop tests.
// --file loads the file (if it exists) and Ctrl+S writes the document back
// to it as UTF-8; --text sets the initial text; --paste-delay makes Ctrl+V
// read the clipboard only that long after the keystroke (a slow target). It prints "ready" once its
// window is shown, then answers commands on standard input, one per line:
//   text          -> "text <document as base64 UTF-8>"
//   locate WORD   -> "located X Y", the screen position of the middle of the
//                    first occurrence of WORD ("located none" when absent)
//   select WORD   -> "selected START END", selects the first occurrence of
//                    WORD (UTF-16 offsets; "selected none" when absent), for
//                    desktops where no test tool can type into the window
//   changed       -> "changed MS", when the text last changed (milliseconds
//                    since the epoch; 0: never)
#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QFile>
#include <QKeyEvent>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QSocketNotifier>
#include <QTextBlock>
#include <QTextStream>
#include <QTimer>
#include <unistd.h>

namespace {

void reply(const QString &line)
{
    QTextStream(stdout) << line << Qt::endl;
}

QString locate(QPlainTextEdit *editor, const QString &word)
{
    const qsizetype index = editor->toPlainText().indexOf(word);
    if (index < 0 || word.isEmpty())
        return QStringLiteral("located none");
    QTextCursor cursor(editor->document());
    cursor.setPosition(int(index));
    const QRect start = editor->cursorRect(cursor);
    cursor.setPosition(int(index + word.size()));
    const QRect end = editor->cursorRect(cursor);
    const QPoint middle((start.left() + end.left()) / 2, start.center().y());
    const QPoint global = editor->viewport()->mapToGlobal(middle);
    return QStringLiteral("located %1 %2").arg(global.x()).arg(global.y());
}

QString select(QPlainTextEdit *editor, const QString &word)
{
    const qsizetype index = editor->toPlainText().indexOf(word);
    if (index < 0 || word.isEmpty())
        return QStringLiteral("selected none");
    QTextCursor cursor(editor->document());
    cursor.setPosition(int(index));
    cursor.setPosition(int(index + word.size()), QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
    return QStringLiteral("selected %1 %2").arg(index).arg(index + word.size());
}

// Holds Ctrl+V back for a while, as a busy application would.
class DelayedPaste : public QObject
{
public:
    DelayedPaste(QPlainTextEdit *editor, int delayMs)
        : QObject(editor)
        , m_editor(editor)
        , m_delayMs(delayMs)
    {
        editor->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent *>(event)->matches(QKeySequence::Paste)) {
            QTimer::singleShot(m_delayMs, m_editor, &QPlainTextEdit::paste);
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPlainTextEdit *m_editor;
    int m_delayMs;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("wrenlark-test-editor"));

    QCommandLineParser parser;
    parser.addOption({QStringLiteral("title"), QStringLiteral("Window title."),
                      QStringLiteral("title"), QStringLiteral("Qt test editor")});
    parser.addOption(
        {QStringLiteral("file"), QStringLiteral("File to edit."), QStringLiteral("path")});
    parser.addOption(
        {QStringLiteral("text"), QStringLiteral("Initial text."), QStringLiteral("text")});
    parser.addOption({QStringLiteral("paste-delay"),
                      QStringLiteral("Milliseconds between Ctrl+V and reading the clipboard."),
                      QStringLiteral("ms")});
    parser.addHelpOption();
    parser.process(app);

    QMainWindow window;
    window.setWindowTitle(parser.value(QStringLiteral("title")));
    auto *editor = new QPlainTextEdit(&window);
    editor->setAccessibleName(QStringLiteral("document"));
    window.setCentralWidget(editor);
    window.resize(640, 400);

    const QString path = parser.value(QStringLiteral("file"));
    if (!path.isEmpty()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            editor->setPlainText(QString::fromUtf8(file.readAll()));
    }
    if (parser.isSet(QStringLiteral("text")))
        editor->setPlainText(parser.value(QStringLiteral("text")));

    if (parser.isSet(QStringLiteral("paste-delay")))
        new DelayedPaste(editor, parser.value(QStringLiteral("paste-delay")).toInt());

    auto *save = new QShortcut(QKeySequence::Save, &window);
    QObject::connect(save, &QShortcut::activated, &window, [editor, path] {
        QFile file(path);
        if (!path.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(editor->toPlainText().toUtf8());
    });

    // When the text last changed, in milliseconds since the epoch.
    qint64 changedAt = 0;
    QObject::connect(editor, &QPlainTextEdit::textChanged, &window,
                     [&changedAt] { changedAt = QDateTime::currentMSecsSinceEpoch(); });

    QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&commands, &QSocketNotifier::activated, &window,
                     [&commands, editor, &changedAt] {
                         QByteArray line;
                         char c = 0;
                         while (::read(STDIN_FILENO, &c, 1) == 1 && c != '\n')
                             line.append(c);
                         if (line.isEmpty() && c != '\n') {
                             commands.setEnabled(false); // standard input closed
                             return;
                         }
                         const QString command = QString::fromUtf8(line).trimmed();
                         if (command == QLatin1String("text"))
                             reply(QStringLiteral("text ") +
                                   QString::fromLatin1(editor->toPlainText().toUtf8().toBase64()));
                         else if (command.startsWith(QLatin1String("locate ")))
                             reply(locate(editor, command.mid(7)));
                         else if (command.startsWith(QLatin1String("select ")))
                             reply(select(editor, command.mid(7)));
                         else if (command == QLatin1String("changed"))
                             reply(QStringLiteral("changed %1").arg(changedAt));
                     });

    window.show();
    editor->setFocus();
    QTimer::singleShot(0, &window, [] { reply(QStringLiteral("ready")); });
    return app.exec();
}
