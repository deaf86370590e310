#include "cli/ProvidersCommand.h"

#include "cli/ProviderArgument.h"
#include "cli/Terminal.h"
#include "core/settings/SettingsStore.h"

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

int runProviders(const QStringList &arguments)
{
    if (!arguments.isEmpty()) {
        Terminal::printError(QStringLiteral("Usage: wrenlark providers"));
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
        QString(),
        QStringLiteral("List the providers: model in use, configured or not, and the current one."),
        QString(),
        runProviders,
    };
}
