#include "cli/ProvidersCommand.h"

#include "cli/ProviderArgument.h"
#include "cli/Terminal.h"
#include "core/catalog/SharedModelCatalogStore.h"
#include "core/catalog/UserCatalogFile.h"
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

const QString usage = QStringLiteral(
    "Usage: wrenlark providers [server PROVIDER ADDRESS | add NAME --url ADDRESS [--model "
    "MODEL]... | remove PROVIDER]");

int refuse(const QString &message, int status = ExitStatus::usage)
{
    Terminal::printError(QStringLiteral("wrenlark: ") + message);
    return status;
}

// The models the server at `address` lists, or what is wrong with it.
LocalServerProbe::Result askForModels(const QUrl &address, const QString &apiKey)
{
    LocalServerProbe probe;
    QEventLoop loop;
    LocalServerProbe::Result result;
    QObject::connect(&probe, &LocalServerProbe::finished, &loop,
                     [&](const QUuid &, const LocalServerProbe::Result &answer) {
                         result = answer;
                         loop.quit();
                     });
    probe.probe(address, apiKey);
    loop.exec();
    return result;
}

// `providers server local http://127.0.0.1:8080/v1`: asks the server for its
// models and, when it answers, keeps the address (and one of its models when
// the chosen one is not among them).
int setServer(const QString &providerID, const QString &text,
              const std::shared_ptr<SecretStore> &secrets)
{
    const AIProviderPointer provider = providerArgument(providerID);
    if (!provider)
        return ExitStatus::usage;
    if (!provider->userChoosesServer()) {
        Terminal::printError(
            QStringLiteral("wrenlark: %1 always uses its own service.").arg(provider->id()));
        return ExitStatus::usage;
    }
    const ServerAddress::Checked checked = ServerAddress::checkEndpointOrAddress(text);
    if (checked.address.isEmpty())
        return refuse(checked.problem);
    SettingsStore store(secrets);
    const LocalServerProbe::Result result =
        askForModels(checked.address, store.readApiKey(*provider).value_or(QString()));
    if (!result.problem.isEmpty())
        return refuse(result.problem, ExitStatus::failure);
    store.setServerAddress(checked.address, *provider);
    if (!result.models.contains(store.model(*provider)))
        store.setModel(result.models.first(), *provider);
    Terminal::writeOutput(QStringLiteral("%1 uses %2, model %3. Its models: %4\n")
                              .arg(provider->displayName(), checked.address.toString(),
                                   store.model(*provider), result.models.join(u' ')));
    return ExitStatus::success;
}

// `providers add "Home GPU" --url http://192.168.1.20:8080/v1 [--model M]...`:
// a provider of the user's own in the user's catalog; without models, those
// the server lists.
int addProvider(const QStringList &arguments)
{
    QString name;
    QString url;
    QStringList models;
    for (qsizetype index = 0; index < arguments.size(); ++index) {
        const QString &argument = arguments.at(index);
        const bool hasValue = index + 1 < arguments.size();
        if (argument == QLatin1String("--url") && hasValue)
            url = arguments.at(++index);
        else if (argument == QLatin1String("--model") && hasValue)
            models.append(arguments.at(++index).trimmed());
        else if (name.isEmpty() && !argument.startsWith(QLatin1String("--")))
            name = argument.trimmed();
        else
            return refuse(usage);
    }
    const QString id = UserCatalogFile::identifierFor(name);
    if (id.isEmpty() || url.isEmpty() || models.contains(QString()))
        return refuse(usage);
    const SharedModelCatalogStore &catalog = SharedModelCatalogStore::shared();
    if (catalog.providerIDs().contains(id) && !catalog.isUserProvider(id))
        return refuse(
            QStringLiteral("\"%1\" is a built-in provider; choose another name.").arg(id));
    const ServerAddress::Checked checked = ServerAddress::checkEndpointOrAddress(url);
    if (checked.address.isEmpty())
        return refuse(checked.problem);
    if (models.isEmpty()) {
        const LocalServerProbe::Result result = askForModels(checked.address, QString());
        if (result.keyRefused)
            return refuse(QStringLiteral("the server asks for a key. Name its models with "
                                         "--model, then store the key with `wrenlark key set %1`.")
                              .arg(id),
                          ExitStatus::failure);
        if (!result.problem.isEmpty())
            return refuse(result.problem, ExitStatus::failure);
        models = result.models;
    }
    QString problem;
    auto file = UserCatalogFile::open(SharedModelCatalogStore::userCatalogPath(), &problem);
    const bool keyOptional = UserCatalogFile::isKeyOptional(checked.address);
    if (file)
        file->putProvider(id, name, checked.address, models);
    if (!file || !file->save(&problem))
        return refuse(QStringLiteral("your model catalog %1 could not be changed: %2.")
                          .arg(SharedModelCatalogStore::userCatalogPath(), problem),
                      ExitStatus::failure);
    Terminal::writeOutput(
        QStringLiteral("Added %1 as \"%2\" with %3. Restart Wrenlark to choose it there; `wrenlark "
                       "ask --provider %2` uses it now.%4\n")
            .arg(name, id, models.join(QStringLiteral(", ")),
                 keyOptional
                     ? QString()
                     : QStringLiteral(" Store its key with `wrenlark key set %1`.").arg(id)));
    return ExitStatus::success;
}

int removeProvider(const QString &id, const std::shared_ptr<SecretStore> &secrets)
{
    const AIProviderPointer provider = AIProviderRegistry::shared().provider(id);
    if (!SharedModelCatalogStore::shared().isUserProvider(id) || !provider)
        return refuse(QStringLiteral("\"%1\" is not a provider you added.").arg(id));
    QString problem;
    auto file = UserCatalogFile::open(SharedModelCatalogStore::userCatalogPath(), &problem);
    if (file)
        file->removeProvider(id);
    if (!file || !file->save(&problem))
        return refuse(QStringLiteral("your model catalog %1 could not be changed: %2.")
                          .arg(SharedModelCatalogStore::userCatalogPath(), problem),
                      ExitStatus::failure);
    SettingsStore(secrets).saveApiKey(QString(), *provider);
    Terminal::writeOutput(QStringLiteral("Removed %1 and its key.\n").arg(id));
    return ExitStatus::success;
}

int runProviders(const QStringList &arguments, const std::shared_ptr<SecretStore> &secrets)
{
    if (arguments.size() == 3 && arguments.first() == QLatin1String("server"))
        return setServer(arguments.at(1), arguments.at(2), secrets);
    if (arguments.size() > 1 && arguments.first() == QLatin1String("add"))
        return addProvider(arguments.mid(1));
    if (arguments.size() == 2 && arguments.first() == QLatin1String("remove"))
        return removeProvider(arguments.at(1), secrets);
    if (!arguments.isEmpty()) {
        Terminal::printError(usage);
        return ExitStatus::usage;
    }
    SettingsStore store(secrets);
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
    if (const QString note = secretStoreUnavailableNote(store.keychain()); !note.isEmpty())
        text += note + u'\n';
    Terminal::writeOutput(text);
    return ExitStatus::success;
}

} // namespace

CliCommand providersCommand(std::shared_ptr<SecretStore> secrets)
{
    return {
        QStringLiteral("providers"),
        QStringLiteral("[server PROVIDER ADDRESS | add NAME --url ADDRESS [--model MODEL]... | "
                       "remove PROVIDER]"),
        QStringLiteral("List the providers: model in use, configured or not, and the current one."),
        QStringLiteral("With `server local ADDRESS`, points the local provider at a server of "
                       "your own (for example http://127.0.0.1:11434/v1 for Ollama, :8080/v1 "
                       "for the llama.cpp server, :1234/v1 for LM Studio, :8000/v1 for vLLM): "
                       "the server is asked for its models, and the address is kept only when "
                       "it answers. With `add NAME --url ADDRESS`, adds a provider of your own "
                       "(any OpenAI-compatible server or gateway) to your model catalog, with the "
                       "models named by --model or else those the server lists; `remove` takes "
                       "it out again, with its key."),
        [secrets](const QStringList &arguments) { return runProviders(arguments, secrets); },
    };
}
