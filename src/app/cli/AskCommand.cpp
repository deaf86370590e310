#include "cli/AskCommand.h"

#include "cli/CommandLine.h"
#include "cli/InterruptWatcher.h"
#include "cli/ProviderArgument.h"
#include "cli/Terminal.h"
#include "core/ai/AIClient.h"
#include "core/session/AppState.h"
#include "core/settings/SettingsStore.h"
#include "core/support/Logging.h"
#include "core/support/Utf8.h"
#include "core/support/WrenlarkCommand.h"

#include <QEventLoop>
#include <QTimer>
#include <QUuid>
#include <algorithm>
#include <memory>

namespace {

struct AskOptions
{
    std::optional<QString> providerID;
    std::optional<QString> model;
    bool fromSelection = false; // the selection of the frontmost application is the text
    bool replace = false;       // and the reply is written over it
    QString instruction;
};

// Options come first: the first other word (or whatever follows "--") starts
// the instruction, so words of an instruction are never taken for options.
std::optional<AskOptions> parseOptions(const QStringList &arguments)
{
    AskOptions options;
    qsizetype index = 0;
    for (; index < arguments.size(); ++index) {
        const QString &argument = arguments[index];
        if (argument == QStringLiteral("--")) {
            ++index;
            break;
        }
        if (!argument.startsWith(u'-') || argument == QStringLiteral("-"))
            break;
        if (argument == QStringLiteral("--from-selection") ||
            argument == QStringLiteral("--replace")) {
            (argument == QStringLiteral("--replace") ? options.replace : options.fromSelection) =
                true;
            continue;
        }
        QString name = argument;
        std::optional<QString> value;
        if (const qsizetype equals = argument.indexOf(u'='); equals > 0) {
            name = argument.left(equals);
            value = argument.mid(equals + 1);
        }
        if (name != QStringLiteral("--provider") && name != QStringLiteral("--model")) {
            Terminal::printError(
                QStringLiteral("wrenlark ask: unknown option %1 (put an instruction "
                               "that begins with a dash after --)")
                    .arg(name));
            return std::nullopt;
        }
        if (!value && index + 1 < arguments.size())
            value = arguments[++index];
        if (!value || value->trimmed().isEmpty()) {
            Terminal::printError(QStringLiteral("wrenlark ask: %1 needs a value").arg(name));
            return std::nullopt;
        }
        (name == QStringLiteral("--provider") ? options.providerID : options.model) =
            value->trimmed();
    }
    options.instruction = arguments.mid(index).join(u' ');
    if (options.replace && !options.fromSelection) {
        Terminal::printError(QStringLiteral("wrenlark ask: --replace needs --from-selection"));
        return std::nullopt;
    }
    return options;
}

// More text than any provider accepts in one request: refused before it is
// read whole (and sent).
constexpr qsizetype maximumInputBytes = 8 * 1024 * 1024;

// The selected text is standard input, unless that is a terminal (nothing is
// piped in, so there is nothing to wait for) or holds only blanks.
bool readSelection(std::optional<QString> *selection)
{
    if (Terminal::standardInputIsTerminal())
        return true;
    bool tooLarge = false;
    const auto bytes = Terminal::readAllInput(maximumInputBytes, &tooLarge);
    if (tooLarge) {
        Terminal::printError(QStringLiteral("wrenlark ask: standard input holds more than %1 MiB "
                                            "of text, more than any provider accepts.")
                                 .arg(maximumInputBytes / (1024 * 1024)));
        return false;
    }
    if (!bytes) {
        Terminal::printError(QStringLiteral("wrenlark ask: could not read standard input."));
        return false;
    }
    const auto text = decodeUtf8Strictly(*bytes);
    if (!text) {
        Terminal::printError(
            QStringLiteral("wrenlark ask: the text on standard input is not UTF-8."));
        return false;
    }
    if (!text->trimmed().isEmpty())
        *selection = *text;
    return true;
}

QString keySetHint(const KeychainStore &keychain)
{
    QString hint = QStringLiteral("To use an API key from here: wrenlark key set PROVIDER_ID "
                                  "(reads the key from standard input; providers: %1).")
                       .arg(providerIDList(true));
    if (CommandLine::hasCommand(QStringLiteral("signin")))
        hint += QStringLiteral("\nTo use an OpenAI Pro/Plus account: wrenlark signin");
    if (const QString note = secretStoreUnavailableNote(keychain); !note.isEmpty())
        hint += u'\n' + note;
    return hint;
}

QString notConfiguredMessage(const AIProvider &provider)
{
    if (provider.authenticationMode() == ProviderAuthenticationMode::apiKey)
        return QStringLiteral("%1 is not configured. Store its API key: wrenlark key set %2")
            .arg(provider.displayName(), provider.id());
    if (CommandLine::hasCommand(QStringLiteral("signin")))
        return QStringLiteral("%1 is not configured. Sign in: wrenlark signin")
            .arg(provider.displayName());
    return QStringLiteral("%1 is not configured. Sign in to it in Settings.")
        .arg(provider.displayName());
}

// The configuration exactly as the command bar resolves it, unless the
// options name another provider or model for this request only.
std::optional<AppConfig> resolveConfig(SettingsStore &store, const AskOptions &options,
                                       int *exitStatus)
{
    *exitStatus = ExitStatus::failure;
    std::optional<AppConfig> config;
    if (options.providerID) {
        const AIProviderPointer provider = providerArgument(*options.providerID);
        if (!provider) {
            *exitStatus = ExitStatus::usage;
            return std::nullopt;
        }
        config = store.loadConfig(*provider);
        if (!config) {
            const QString note = secretStoreUnavailableNote(store.keychain());
            Terminal::printError(notConfiguredMessage(*provider) +
                                 (note.isEmpty() ? QString() : u'\n' + note));
        }
    } else {
        config = store.loadConfig();
        if (!config)
            Terminal::printError(QStringLiteral("Configure any AI provider in Settings\n") +
                                 keySetHint(store.keychain()));
    }
    if (config && options.model)
        config->model = *options.model;
    return config;
}

// Prints a reply as it grows. The final reply is the streamed text without
// the blanks at either end, so only the trimmed text so far is printed:
// nothing printed ever has to be taken back. The text so far only grows, so
// each piece is looked at once, and what arrives within one pass of the event
// loop (one network read) is written in one go.
class StreamedOutput
{
public:
    StreamedOutput()
    {
        m_flush.setSingleShot(true);
        m_flush.setInterval(0);
        QObject::connect(&m_flush, &QTimer::timeout, [this] { flush(); });
    }

    void showPartial(const QString &textSoFar)
    {
        for (qsizetype i = m_scanned; i < textSoFar.size(); ++i) {
            if (textSoFar.at(i).isSpace())
                continue;
            if (m_start < 0)
                m_start = i;
            m_end = i + 1;
        }
        m_scanned = textSoFar.size();
        if (m_start < 0 || m_end <= m_shownEnd)
            return;
        const qsizetype from = std::max(m_shownEnd, m_start);
        const QStringView piece = QStringView(textSoFar).sliced(from, m_end - from);
        m_printed.append(piece);
        m_pending.append(piece);
        m_shownEnd = m_end;
        if (!m_flush.isActive())
            m_flush.start();
    }

    void finish(const QString &text)
    {
        flush();
        if (!text.startsWith(m_printed)) {
            Terminal::writeOutput(QStringLiteral("\n"));
            Terminal::printError(QStringLiteral(
                "The complete reply differs from the streamed text; here it is in full."));
            m_printed.clear();
        }
        Terminal::writeOutput(text.mid(m_printed.size()) + u'\n');
        m_printed.clear();
    }

    // Ends a line that was left open by partial text.
    void endLine()
    {
        flush();
        if (!m_printed.isEmpty())
            Terminal::writeOutput(QStringLiteral("\n"));
        m_printed.clear();
    }

private:
    void flush()
    {
        m_flush.stop();
        if (m_pending.isEmpty())
            return;
        Terminal::writeOutput(m_pending);
        m_pending.clear();
    }

    QString m_printed; // everything written so far
    QString m_pending; // written at the end of this pass of the event loop
    QTimer m_flush;
    // In the text so far: how much was looked at, where its first and past
    // its last non-blank character are, and how much of it was printed.
    qsizetype m_scanned = 0;
    qsizetype m_start = -1;
    qsizetype m_end = 0;
    qsizetype m_shownEnd = 0;
};

int reportOutcome(const AIReply &reply, StreamedOutput &output, QString *replyText)
{
    switch (reply.state()) {
    case AIReply::State::succeeded:
        output.finish(reply.text());
        *replyText = reply.text();
        qCInfo(lcCli).noquote() << QStringLiteral("Response received.");
        return ExitStatus::success;
    case AIReply::State::cancelled:
    case AIReply::State::running:
        output.endLine();
        qCInfo(lcCli).noquote() << QStringLiteral("Request canceled.");
        return ExitStatus::interrupted;
    case AIReply::State::failed:
        break;
    }
    const AIClientError &error = *reply.error();
    if (error.kind() == AIClientError::Kind::streamInterrupted) {
        output.finish(error.partialText().trimmed());
        qCInfo(lcCli).noquote() << QStringLiteral("Stream interrupted; keeping partial response.");
        Terminal::printError(error.userFacingMessage());
        return ExitStatus::failure;
    }
    output.endLine();
    qCWarning(lcCli).noquote()
        << QStringLiteral("Request failed. (%1)").arg(error.errorDescription());
    Terminal::printError(error.userFacingMessage());
    return ExitStatus::failure;
}

int sendRequest(const AIProvider &provider, const AIRequestContext &context, QString *replyText)
{
    AIClient client;
    StreamedOutput output;
    ProgressIndicator progress(QStringLiteral("Waiting for %1…").arg(provider.displayName()));
    InterruptWatcher interrupt;

    qCInfo(lcCli).noquote() << QStringLiteral("Request submitted.");
    const std::unique_ptr<AIReply> reply(
        provider.sendRequest(client, context, [&](const QString &textSoFar) {
            progress.stop();
            output.showPartial(textSoFar);
        }));
    QEventLoop loop;
    QObject::connect(reply.get(), &AIReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&interrupt, &InterruptWatcher::interrupted, reply.get(), &AIReply::cancel);
    if (!reply->isFinished())
        loop.exec();
    progress.stop();
    return reportOutcome(*reply, output, replyText);
}

int runAsk(const QStringList &arguments, const std::shared_ptr<SecretStore> &secrets,
           const DesktopCommands &desktop)
{
    const auto options = parseOptions(arguments);
    if (!options)
        return ExitStatus::usage;
    const QString typed = options->instruction.trimmed();
    if (typed.isEmpty()) {
        Terminal::printError(QStringLiteral("wrenlark ask: give an instruction, for example: "
                                            "wrenlark ask fix grammar < draft.txt"));
        return ExitStatus::usage;
    }

    SettingsStore store(secrets);
    int exitStatus = ExitStatus::failure;
    const auto config = resolveConfig(store, *options, &exitStatus);
    if (!config)
        return exitStatus;
    std::optional<QString> selection;
    std::optional<SelectionContext> desktopSelection;
    if (options->fromSelection) {
        if (!desktop.readSelection) {
            Terminal::printError(QStringLiteral("wrenlark ask: --from-selection needs %1, which "
                                                "is not installed beside this program.")
                                     .arg(QLatin1String(WrenlarkCommand::desktopExecutableName)));
            return ExitStatus::failure;
        }
        desktopSelection = desktop.readSelection(&exitStatus);
        if (!desktopSelection)
            return exitStatus;
        // A caret without a selection: the instruction goes alone.
        if (!desktopSelection->selectedText.trimmed().isEmpty())
            selection = desktopSelection->selectedText;
    } else if (!readSelection(&selection)) {
        return ExitStatus::usage;
    }

    const AIProviderPointer provider = store.registry().provider(config->providerID);
    if (!provider) {
        Terminal::printError(
            AIClientError::unknownProvider(config->providerID).userFacingMessage());
        return ExitStatus::failure;
    }
    const QString instruction = store.resolveCommand(typed).value_or(typed);
    const AIRequestContext context = AppState::requestContext(
        QUuid::createUuid(), *config, instruction, std::move(selection), std::nullopt);
    QString reply;
    const int status = sendRequest(*provider, context, &reply);
    // Only a complete reply is written back; an interrupted one writes nothing.
    if (status != ExitStatus::success || !options->replace)
        return status;
    return desktop.replaceSelection(*desktopSelection, reply);
}

} // namespace

CliCommand askCommand(std::shared_ptr<SecretStore> secrets, const DesktopCommands &desktop)
{
    return {
        QStringLiteral("ask"),
        QStringLiteral("[--provider ID] [--model NAME] [--from-selection [--replace]] "
                       "INSTRUCTION..."),
        QStringLiteral("Send an instruction about the text on standard input; print the reply."),
        QStringLiteral(
            "The text piped in on standard input is the selection the instruction is about;\n"
            "without one (a terminal, or empty input) the instruction is sent alone. A saved\n"
            "command's shorthand (for example \"eng\") is replaced by its instruction, as in\n"
            "the command bar. The reply is printed to standard output as it arrives.\n"
            "\n"
            "  --provider ID   use this provider for this request only\n"
            "  --model NAME    use this model for this request only\n"
            "  --from-selection  read the text selected in the frontmost application\n"
            "                  instead of standard input (bind the command to a key)\n"
            "  --replace       write the reply over that selection (or at its caret)\n"
            "\n"
            "Without them the current provider and its model from Settings are used.\n"
            "Options come before the instruction; an instruction that begins with a dash\n"
            "goes after --.\n"
            "\n"
            "Examples:\n"
            "  wrenlark ask gram < draft.txt\n"
            "  xclip -o | wrenlark ask --provider anthropic summarize in one line\n"
            "\n"
            "Exit status: 0 when the reply is complete, 1 when the request failed or the\n"
            "reply was cut short, 2 for unusable arguments or input, 130 after Ctrl+C."),
        [secrets, desktop](const QStringList &arguments) {
            return runAsk(arguments, secrets, desktop);
        },
    };
}
