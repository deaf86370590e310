#include "cli/ProvidersCommand.h"

#include "cli/ProviderArgument.h"
#include "cli/Terminal.h"
#include "core/providers/LocalServerProbe.h"
#include "core/providers/ServerAddress.h"
#include "core/settings/SettingsStore.h"

#include <QEventLoop>
#include <algorithm>

namespace {

struct Row
{
    QString marker;
    QString id;
    QString name;
    QString model;
    QString status;
};

QString formatTable(const QList<Row> &rows)
{
    qsizetype idWidth = 0;
    qsizetype nameWidth = 0;
    qsizetype modelWidth = 0;
    for (const Row &row : rows) {
        idWidth = std::max(idWidth, row.id.size());
        nameWidth = std::max(nameWidth, row.name.size());
        modelWidth = std::max(modelWidth, row.model.size());
    }
    QString text;
    for (const Row &row : rows) {
        text +=
            QStringLiteral("%1 %2  %3  %4  %5")
                .arg(row.marker, row.id.leftJustified(idWidth), row.name.leftJustified(nameWidth),
                     row.model.leftJustified(modelWidth), row.status);
        text += u'\n';
    }
    return text;
}

const QString usage = QStringLiteral("Usage: wrenlark providers [server PROVIDER ADDRESS]");

// `providers server local http://127.0.0.1:8080/v1`: asks the server for its
// models and, when it answers, keeps the address (and one of its models when
// the chosen one is not among them).
int setServer(const QString &providerID, const QString &text)
{
    const AIProviderPointer provider = providerArgument(providerID);
    if (!provider)
        return ExitStatus::usage;
    if (!provider->userChoosesServer()) {
        Terminal::printError(
            QStringLiteral("wrenlark: %1 always uses its own service.").arg(provider->id()));
        return ExitStatus::usage;
    }
    const ServerAddress::Checked checked = ServerAddress::check(text);
    if (checked.address.isEmpty()) {
        Terminal::printError(QStringLiteral("wrenlark: ") + checked.problem);
        return ExitStatus::usage;
    }
    SettingsStore store;
    LocalServerProbe probe;
    QEventLoop loop;
    LocalServerProbe::Result result;
    QObject::connect(&probe, &LocalServerProbe::finished, &loop,
                     [&](const QUuid &, const LocalServerProbe::Result &answer) {
                         result = answer;
                         loop.quit();
                     });
    probe.probe(checked.address, store.readApiKey(*provider).value_or(QString()));
    loop.exec();
    if (!result.problem.isEmpty()) {
        Terminal::printError(QStringLiteral("wrenlark: ") + result.problem);
        return ExitStatus::failure;
    }
    store.setServerAddress(checked.address, *provider);
    if (!result.models.contains(store.model(*provider)))
        store.setModel(result.models.first(), *provider);
    Terminal::writeOutput(QStringLiteral("%1 uses %2, model %3. Its models: %4\n")
                              .arg(provider->displayName(), checked.address.toString(),
                                   store.model(*provider), result.models.join(u' ')));
    return ExitStatus::success;
}

int runProviders(const QStringList &arguments)
{
    if (arguments.size() == 3 && arguments.first() == QLatin1String("server"))
        return setServer(arguments.at(1), arguments.at(2));
    if (!arguments.isEmpty()) {
        Terminal::printError(usage);
        return ExitStatus::usage;
    }
    SettingsStore store;
    const AIProviderPointer current = store.currentProvider();
    QList<Row> rows{{QString(), QStringLiteral("ID"), QStringLiteral("NAME"),
                     QStringLiteral("MODEL"), QStringLiteral("STATUS")}};
    // Where a request goes now: the current provider, or when that one is not
    // configured the first configured one (which a request then makes current).
    AIProviderPointer used;
    for (const AIProviderPointer &provider : store.registry().providers()) {
        const bool configured = store.hasValidConfig(*provider);
        if (configured && (!used || provider == current))
            used = provider;
        const bool isCurrent = provider == current;
        rows.append({isCurrent ? QStringLiteral("*") : QStringLiteral(" "), provider->id(),
                     provider->displayName(), store.model(*provider),
                     configured ? QStringLiteral("configured") : QStringLiteral("not configured")});
    }
    rows.first().marker = QStringLiteral(" ");
    QString text = formatTable(rows);
    text += QStringLiteral("\n* current provider\n");
    if (!used)
        text += QStringLiteral("No provider is configured: see `wrenlark help key`.\n");
    else if (used != current)
        text += QStringLiteral("%1 is not configured, so requests go to %2.\n")
                    .arg(current->displayName(), used->displayName());
    if (const QString note = secretStoreUnavailableNote(); !note.isEmpty())
        text += note + u'\n';
    Terminal::writeOutput(text);
    return ExitStatus::success;
}

} // namespace

CliCommand providersCommand()
{
    return {
        QStringLiteral("providers"),
        QStringLiteral("[server PROVIDER ADDRESS]"),
        QStringLiteral("List the providers: model in use, configured or not, and the current one."),
        QStringLiteral("With `server local ADDRESS`, points the local provider at a server of "
                       "your own (for example http://127.0.0.1:11434/v1 for Ollama, :8080/v1 "
                       "for the llama.cpp server, :1234/v1 for LM Studio, :8000/v1 for vLLM): "
                       "the server is asked for its models, and the address is kept only when "
                       "it answers."),
        runProviders,
    };
}
