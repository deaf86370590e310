#include "support/DesktopTestSession.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

namespace DesktopTestSession {

std::optional<QString> unavailableReason()
{
    if (qEnvironmentVariable("WRENLARK_DESKTOP_SESSION") != QLatin1String("1"))
        return QStringLiteral("needs the private desktop: run under tests/support/desktop-session");
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return QStringLiteral("no X display (DISPLAY is empty)");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return QStringLiteral("no session bus for the accessibility bus");
    return std::nullopt;
}

void preparePlatform()
{
    if (!unavailableReason())
        qputenv("QT_QPA_PLATFORM", "xcb");
}

ProcessResult run(const QString &program, const QStringList &arguments, int timeoutMs,
                  const QByteArray &input)
{
    ProcessResult result;
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    process.start(program, arguments);
    if (!input.isNull()) {
        process.write(input);
        process.closeWriteChannel();
    }
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
        return result;
    }
    result.finished =
        process.exitStatus() == QProcess::NormalExit && process.error() != QProcess::FailedToStart;
    result.exitCode = process.exitCode();
    result.output = process.readAllStandardOutput();
    result.errors = process.readAllStandardError();
    return result;
}

bool xdotool(const QStringList &arguments)
{
    const ProcessResult result = run(QStringLiteral("xdotool"), arguments);
    return result.finished && result.exitCode == 0;
}

void settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

qint64 activeWindowPid()
{
    const auto result = run(QStringLiteral("xdotool"),
                            {QStringLiteral("getactivewindow"), QStringLiteral("getwindowpid")});
    return QString::fromLatin1(result.output).trimmed().toLongLong();
}

QStringList visibleWindows(qint64 pid, const QString &name)
{
    QStringList arguments{QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                          QStringLiteral("--pid"), QString::number(pid)};
    // xdotool matches any of the conditions unless told otherwise.
    if (!name.isEmpty())
        arguments << QStringLiteral("--all") << QStringLiteral("--name")
                  << QRegularExpression::escape(name);
    const QString output = QString::fromLatin1(run(QStringLiteral("xdotool"), arguments).output);
    return output.split(u'\n', Qt::SkipEmptyParts);
}

namespace {

// Looks until `done` for `timeoutMs` in 50 ms steps, not counting the looks
// themselves, as QTRY_* does: each look over AT-SPI is a process of its own.
template<typename Done> bool lookFor(Done done, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        if (done())
            return true;
        QTest::qWait(50);
    }
    return done();
}

} // namespace

bool askInBar(const QString &instruction, const QString &replyEnd)
{
    const auto bar = [](const char *name) {
        return readAccessible(QStringLiteral("wrenlark"), QString::fromLatin1(name));
    };
    if (!xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"),
                  instruction}) ||
        !lookFor([&] { return bar("Instruction").endsWith(instruction); }, 10000)) {
        qWarning("the bar's instruction: %s", qPrintable(bar("Instruction")));
        return false;
    }
    if (!xdotool({QStringLiteral("key"), QStringLiteral("Return")}) ||
        !lookFor([&] { return bar("Response").endsWith(replyEnd); }, 15000)) {
        qWarning("the bar's response: %s", qPrintable(bar("Response")));
        return false;
    }
    return true;
}

QString readAccessible(const QString &application, const QString &name, bool description)
{
    QStringList arguments{QStringLiteral(WRENLARK_READ_ACCESSIBLE), application, name};
    if (description)
        arguments << QStringLiteral("description");
    const auto result = run(QStringLiteral("/usr/bin/python3"), arguments, 20000);
    return result.finished && result.exitCode == 0 ? QString::fromUtf8(result.output) : QString();
}

ScreenReader::~ScreenReader()
{
    m_process.kill();
    m_process.waitForFinished(2000);
}

bool ScreenReader::start()
{
    m_process.start(QStringLiteral(WRENLARK_ATSPI_ACT),
                    {QStringLiteral("wrenlark"), QStringLiteral("listen")});
    return m_process.waitForReadyRead(10000) && m_process.readLine().trimmed() == "listening";
}

qsizetype ScreenReader::timesSaid(const QByteArray &text)
{
    read();
    return m_said.count(text);
}

QByteArray ScreenReader::focus()
{
    read();
    return m_focus.mid(m_focus.indexOf('|') + 1);
}

void ScreenReader::forget()
{
    read();
    m_said.clear();
}

void ScreenReader::read()
{
    const QList<QByteArray> lines = m_process.readAllStandardOutput().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("said "))
            m_said << line.mid(5);
        else if (line.startsWith("focus "))
            m_focus = line.mid(6);
    }
}

} // namespace DesktopTestSession

std::unique_ptr<DesktopApp> DesktopApp::launch(const QString &program, const QStringList &arguments,
                                               const QStringList &extraEnvironment, QString *error)
{
    std::unique_ptr<DesktopApp> app(new DesktopApp);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Applications under test use the real X11 platform, not the tests' offscreen one.
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    for (const QString &entry : extraEnvironment) {
        const qsizetype equals = entry.indexOf(u'=');
        environment.insert(entry.left(equals), entry.mid(equals + 1));
    }
    app->m_process.setProcessEnvironment(environment);
    app->m_process.setProcessChannelMode(QProcess::SeparateChannels);
    app->m_process.start(program, arguments);
    if (!app->m_process.waitForStarted(5000)) {
        *error = QStringLiteral("%1 did not start: %2").arg(program, app->m_process.errorString());
        return nullptr;
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 15000) {
        const auto found =
            DesktopTestSession::run(QStringLiteral("xdotool"),
                                    {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                     QStringLiteral("--pid"), QString::number(app->pid())},
                                    2000);
        const QString windows = QString::fromUtf8(found.output).trimmed();
        if (!windows.isEmpty()) {
            app->m_window = windows.split(u'\n').constLast();
            return app;
        }
        DesktopTestSession::settle(100);
    }
    *error = QStringLiteral("%1 showed no window").arg(program);
    return nullptr;
}

DesktopApp::~DesktopApp()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(2000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }
}

bool DesktopApp::activate()
{
    return DesktopTestSession::xdotool(
        {QStringLiteral("windowactivate"), QStringLiteral("--sync"), m_window});
}

bool DesktopApp::keys(const QStringList &sequence)
{
    QStringList arguments{QStringLiteral("key"), QStringLiteral("--clearmodifiers"),
                          QStringLiteral("--delay"), QStringLiteral("20")};
    return DesktopTestSession::xdotool(arguments + sequence);
}

QString DesktopApp::readLine(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!m_process.canReadLine() && clock.elapsed() < timeoutMs)
        m_process.waitForReadyRead(50);
    return QString::fromUtf8(m_process.readLine()).trimmed();
}

QString DesktopApp::ask(const QString &command, int timeoutMs)
{
    m_process.write((command + u'\n').toUtf8());
    m_process.waitForBytesWritten(1000);
    return readLine(timeoutMs);
}
