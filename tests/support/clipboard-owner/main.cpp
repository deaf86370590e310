// wrenlark-test-clipboard-owner [--wait] MIME-TYPE=FILE...
//
// Puts one clipboard entry with every given format (the bytes of FILE) on
// the X11 CLIPBOARD and serves it. It shows a small window, as an
// application the user copies from would. It prints "owning" once it owns
// the clipboard and exits when another program takes the clipboard over.
// With --wait it takes the clipboard only when a line "take" arrives on
// standard input.
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>
#include <QWidget>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStringList arguments = QApplication::arguments().mid(1);
    const bool wait = arguments.removeAll(QStringLiteral("--wait")) > 0;

    QList<std::pair<QString, QByteArray>> formats;
    for (const QString &argument : arguments) {
        const qsizetype equals = argument.indexOf(u'=');
        QFile file(argument.mid(equals + 1));
        if (equals <= 0 || !file.open(QIODevice::ReadOnly)) {
            QTextStream(stderr) << "unusable argument: " << argument << Qt::endl;
            return 2;
        }
        formats.append({argument.left(equals), file.readAll()});
    }

    QWidget window;
    window.setWindowTitle(QStringLiteral("clipboard owner"));
    window.resize(120, 60);
    window.show();

    QClipboard *clipboard = QApplication::clipboard();
    bool owning = false;
    auto take = [&] {
        auto *data = new QMimeData;
        for (const auto &[type, bytes] : formats)
            data->setData(type, bytes);
        clipboard->setMimeData(data, QClipboard::Clipboard);
        owning = clipboard->ownsClipboard();
        QTextStream(stdout) << (owning ? "owning" : "refused") << Qt::endl;
    };
    QObject::connect(clipboard, &QClipboard::changed, &app, [&](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard && owning && !clipboard->ownsClipboard())
            app.quit();
    });

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[64];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) {
            input.setEnabled(false);
            return;
        }
        if (QByteArray(buffer, int(count)).contains("take"))
            take();
    });
    if (!wait)
        QTimer::singleShot(0, &app, take);
    return app.exec();
}
