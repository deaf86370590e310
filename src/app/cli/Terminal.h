#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <optional>

class QTimer;

// Standard input, output and error of the command line.
namespace Terminal {

bool standardInputIsTerminal();
bool standardErrorIsTerminal();

// Writes UTF-8 text at once (unbuffered), so streamed replies show as they
// come. Much of what is written comes from outside (a server's answer or
// error, a model name, the sign-in page's redirect), so control characters
// other than line feed and tab are dropped: from standard error always, from
// standard output when it is a terminal (piped, the text stays as it came).
void writeOutput(const QString &text);
void writeError(const QString &text);
// writeError(text + "\n")
void printError(const QString &line);

// Everything on standard input up to its end. Nothing when it could not be
// read, or when it holds more than `limit` bytes (`tooLarge` then says so;
// reading stops there).
std::optional<QByteArray> readAllInput(qsizetype limit, bool *tooLarge);

// Overwrites bytes that held a secret (when no other copy shares them), so
// that they do not linger in freed memory.
void wipe(QByteArray *bytes);

// Shows `prompt` on standard error and reads one line from the terminal on
// standard input without echoing it. Nothing when the input ended or Ctrl+C
// was pressed (`interrupted` then says so); the terminal's echo is restored
// in every case.
std::optional<QString> readHiddenLine(const QString &prompt, bool *interrupted);

} // namespace Terminal

// A small spinner on standard error while waiting, only when standard error is
// a terminal; stop() erases it before anything else is printed.
class ProgressIndicator : public QObject
{
    Q_OBJECT

public:
    explicit ProgressIndicator(const QString &text, QObject *parent = nullptr);
    ~ProgressIndicator() override;

    void stop();

private:
    void draw();

    QString m_text;
    QTimer *m_timer = nullptr;
    int m_frame = 0;
    bool m_shown = false;
};
