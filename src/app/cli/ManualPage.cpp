#include "cli/ManualPage.h"

#include "cli/CommandLine.h"
#include "core/support/AppMetadata.h"

#include <QStringList>

namespace ManualPage {

namespace {

QString section(const QString &title, const QString &body)
{
    return QStringLiteral(".SH %1\n%2").arg(title, body);
}

// Text laid out by hand (aligned option lists, examples) is kept as it is.
QString preformatted(const QString &text)
{
    return QStringLiteral(".nf\n") + escaped(text) + QStringLiteral("\n.fi\n");
}

// A command's help text as roff: indented lines (option lists, examples)
// keep their layout, the sentences around them are filled to the reader's
// terminal.
QString helpParagraphs(const QString &details)
{
    QString roff;
    for (const QString &block : details.split(QStringLiteral("\n\n"))) {
        roff += QStringLiteral(".sp\n");
        QStringList indented;
        const auto flushIndented = [&] {
            if (!indented.isEmpty())
                roff += preformatted(indented.join(u'\n'));
            indented.clear();
        };
        for (const QString &line : block.split(u'\n')) {
            if (line.startsWith(QStringLiteral("  "))) {
                indented.append(line);
                continue;
            }
            flushIndented();
            roff += escaped(line) + u'\n';
        }
        flushIndented();
    }
    return roff;
}

QString commandsSection()
{
    QString body;
    for (const CliCommand &command : CommandLine::commands()) {
        body +=
            QStringLiteral(".TP\n\\fB%1\\fR %2\n%3\n")
                .arg(escaped(command.name), escaped(command.arguments), escaped(command.summary));
        if (!command.details.isEmpty())
            body += helpParagraphs(command.details);
    }
    return section(QStringLiteral("COMMANDS"), body);
}

QString item(const QString &term, const QString &description)
{
    return QStringLiteral(".TP\n%1\n%2\n").arg(term, escaped(description));
}

QString filesSection()
{
    return section(
        QStringLiteral("FILES"),
        item(QStringLiteral("\\fI$XDG_CONFIG_HOME/Wrenlark/Wrenlark.conf\\fR"),
             QStringLiteral("Settings, shared by the desktop application and the command line "
                            "(normally ~/.config/Wrenlark/Wrenlark.conf). API keys are never "
                            "stored here.")) +
            item(QStringLiteral("\\fI$XDG_CONFIG_HOME/Wrenlark/model-catalog.json\\fR"),
                 QStringLiteral("Optional model catalog: each provider it lists replaces the "
                                "built-in entry of that provider (endpoint and models), for "
                                "example to use a local OpenAI-compatible server.")) +
            item(QStringLiteral("\\fI$XDG_STATE_HOME/Wrenlark/dev.log\\fR"),
                 QStringLiteral("Log of the desktop application, made anew at each start "
                                "(normally ~/.local/state/Wrenlark/dev.log).")) +
            item(QStringLiteral("\\fI$XDG_STATE_HOME/Wrenlark/cli.log\\fR"),
                 QStringLiteral("Log of the command line, made anew at each run.")) +
            item(QStringLiteral("\\fI$XDG_CONFIG_HOME/autostart/wrenlark.desktop\\fR"),
                 QStringLiteral("Present while Wrenlark starts at login.")) +
            item(QStringLiteral("Secret Service"),
                 QStringLiteral("API keys and the OpenAI Pro/Plus session are kept in the "
                                "desktop's keyring under the service com.wrenlark.")));
}

QString environmentSection()
{
    return section(
        QStringLiteral("ENVIRONMENT"),
        item(QStringLiteral("\\fBDISPLAY\\fR, \\fBWAYLAND_DISPLAY\\fR"),
             QStringLiteral("The graphical session. Without one, only the commands that need "
                            "no desktop work.")) +
            item(QStringLiteral("\\fBQT_QPA_PLATFORM\\fR"),
                 QStringLiteral("When set, the Qt platform Wrenlark runs on. Otherwise it runs "
                                "on X11 whenever an X server is there (XWayland under "
                                "Wayland), and as a Wayland client only without one.")) +
            item(QStringLiteral("\\fBXDG_SESSION_TYPE\\fR, \\fBXDG_CURRENT_DESKTOP\\fR"),
                 QStringLiteral("The kind of session and the desktop, which decide how the "
                                "global shortcut and region capture work; the doctor "
                                "command shows the choices.")) +
            item(QStringLiteral("\\fBDBUS_SESSION_BUS_ADDRESS\\fR"),
                 QStringLiteral("The session bus: the running application is reached over it, "
                                "and the Secret Service lives on it.")) +
            item(QStringLiteral("\\fBXDG_ACTIVATION_TOKEN\\fR, \\fBDESKTOP_STARTUP_ID\\fR"),
                 QStringLiteral("Passed on by commands that make the running application show "
                                "a window, so the desktop lets that window take focus.")) +
            item(QStringLiteral("\\fBXDG_CONFIG_HOME\\fR, \\fBXDG_STATE_HOME\\fR"),
                 QStringLiteral("Where settings and logs live (see FILES).")) +
            item(QStringLiteral("\\fBBROWSER\\fR"),
                 QStringLiteral("The browser that opens the OpenAI Pro/Plus sign-in, when set; "
                                "otherwise the desktop's default.")));
}

QString exitStatusSection()
{
    return section(
        QStringLiteral("EXIT STATUS"),
        item(QStringLiteral("\\fB0\\fR"), QStringLiteral("Success.")) +
            item(QStringLiteral("\\fB1\\fR"),
                 QStringLiteral("The request, the keyring or a service failed, or a "
                                "reply was cut short.")) +
            item(QStringLiteral("\\fB2\\fR"),
                 QStringLiteral("The command line or the input was not usable.")) +
            item(QStringLiteral("\\fB130\\fR"), QStringLiteral("Interrupted with Ctrl+C.")));
}

QString examplesSection()
{
    return section(
        QStringLiteral("EXAMPLES"),
        preformatted(QStringLiteral("echo \"$OPENAI_KEY\" | wrenlark key set openai\n"
                                    "echo \"Teh qiuck fox\" | wrenlark ask fix the spelling\n"
                                    "wrenlark ask --provider anthropic \"explain\" < notes.txt\n"
                                    "wrenlark ask --from-selection --replace eng\n"
                                    "wrenlark signin\n"
                                    "wrenlark doctor")));
}

} // namespace

QString escaped(const QString &text)
{
    QString result;
    result.reserve(text.size() + text.size() / 8);
    bool lineStart = true;
    for (const QChar c : text) {
        if (lineStart && (c == u'.' || c == u'\''))
            result += QStringLiteral("\\&");
        if (c == u'\\')
            result += QStringLiteral("\\e");
        else if (c == u'-')
            result += QStringLiteral("\\-");
        else
            result += c;
        lineStart = c == u'\n';
    }
    return result;
}

QString text()
{
    const QString header = QStringLiteral(".TH WRENLARK 1 \"\" \"Wrenlark %1\" \"User Commands\"\n"
                                          // Command lines are neither hyphenated nor stretched.
                                          ".nh\n.ad l\n")
                               .arg(AppMetadata::version());
    const QString name = section(
        QStringLiteral("NAME"), QStringLiteral("wrenlark \\- AI text assistant for the desktop\n"));
    const QString synopsis =
        section(QStringLiteral("SYNOPSIS"),
                QStringLiteral("\\fBwrenlark\\fR\n.br\n\\fBwrenlark\\fR \\fICOMMAND\\fR "
                               "[\\fIARGUMENTS\\fR...]\n.br\n\\fBwrenlark\\fR \\-\\-help | "
                               "\\-\\-version\n"));
    const QString description = section(
        QStringLiteral("DESCRIPTION"),
        escaped(QStringLiteral(
            "Without arguments on a graphical session, wrenlark starts the desktop application "
            "(one per session; a second start hands over to the running one). It lives in the "
            "tray: select text in any application, press the global shortcut (Alt+Space "
            "unless you changed it), type an instruction or a saved shorthand, and the reply of "
            "the AI provider you chose streams into a command bar over that application. "
            "Ctrl+Return writes the reply over the selection, Ctrl+C copies it, Escape closes "
            "the bar.\n")) +
            QStringLiteral(".PP\n") +
            escaped(QStringLiteral(
                "With a command, wrenlark works from a terminal or a script, with the same "
                "settings, keys and saved commands as the desktop application.\n")));
    const QString options =
        section(QStringLiteral("OPTIONS"),
                item(QStringLiteral("\\fB\\-h\\fR, \\fB\\-\\-help\\fR"),
                     QStringLiteral("Show the overview; wrenlark help COMMAND (or wrenlark COMMAND "
                                    "--help) shows a command's help.")) +
                    item(QStringLiteral("\\fB\\-v\\fR, \\fB\\-\\-version\\fR"),
                         QStringLiteral("Show the version.")));
    const QString seeAlso =
        section(QStringLiteral("SEE ALSO"), QStringLiteral("\\fBsecret-tool\\fR(1)\n"));
    return header + name + synopsis + description + commandsSection() + options + filesSection() +
           environmentSection() + exitStatusSection() + examplesSection() + seeAlso;
}

} // namespace ManualPage
