#include "TestEditor.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>

TestEditor::~TestEditor()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool TestEditor::start(const QString &text, const QString &title, const QString &platform)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    if (!m_accessible) {
        environment.remove(QStringLiteral("AT_SPI_BUS_ADDRESS"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QStringLiteral("unix:path=/nonexistent"));
    }
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QString program = QStringLiteral(WRENLARK_TEST_EDITOR);
    if (!m_programName.isEmpty()) {
        const QString link = m_linkFolder.filePath(m_programName);
        if (!QFile::link(program, link))
            return false;
        program = link;
    }
    m_process.start(program, {QStringLiteral("--text"), text, QStringLiteral("--title"), title});
    return m_process.waitForStarted(5000) && readLine() == QLatin1String("ready");
}

QString TestEditor::ask(const QString &command)
{
    m_process.write(command.toUtf8() + '\n');
    return readLine();
}

QString TestEditor::documentText()
{
    const QString answer = ask(QStringLiteral("text"));
    if (!answer.startsWith(QLatin1String("text ")))
        return {};
    return QString::fromUtf8(QByteArray::fromBase64(answer.mid(5).toLatin1()));
}

QString TestEditor::readLine()
{
    QElapsedTimer clock;
    clock.start();
    while (!m_process.canReadLine() && clock.elapsed() < 10000) {
        if (m_process.state() == QProcess::NotRunning)
            return {};
        m_process.waitForReadyRead(100);
    }
    return QString::fromUtf8(m_process.readLine()).trimmed();
}
