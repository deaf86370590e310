#include "core/providers/LocalServerProbe.h"

#include "core/providers/ProviderWire.h"
#include "core/providers/ServerAddress.h"
#include "core/support/ReplyBodyLimit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace {

// A model list is small; a larger answer is not one.
constexpr qint64 maximumAnswerBytes = 4 * 1024 * 1024;
// Listing models is quick even on a busy server; loading one is not needed.
constexpr int probeTimeoutMilliseconds = 10'000;

std::optional<QStringList> namesIn(const QByteArray &body, const QString &listName,
                                   const QString &nameField)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue list = document.object().value(listName);
    if (!document.isObject() || !list.isArray())
        return std::nullopt;
    QStringList names;
    for (const QJsonValue &entry : list.toArray()) {
        const QString name = entry.toObject().value(nameField).toString();
        if (!name.isEmpty() && !names.contains(name))
            names.append(name);
    }
    return names;
}

int httpStatus(const QNetworkReply &reply)
{
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

} // namespace

LocalServerProbe::LocalServerProbe(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
{
    qRegisterMetaType<LocalServerProbe::Result>();
}

LocalServerProbe::~LocalServerProbe()
{
    cancel();
}

std::optional<QStringList> LocalServerProbe::openAIModels(const QByteArray &body)
{
    return namesIn(body, QStringLiteral("data"), QStringLiteral("id"));
}

std::optional<QStringList> LocalServerProbe::ollamaModels(const QByteArray &body)
{
    return namesIn(body, QStringLiteral("models"), QStringLiteral("name"));
}

QUuid LocalServerProbe::probe(const QUrl &address, const QString &apiKey, const QString &model)
{
    cancel();
    m_probeID = QUuid::createUuid();
    m_address = address;
    m_apiKey = apiKey;
    m_model = model.trimmed();
    get(ServerAddress::modelsEndpoint(address));
    connect(m_reply, &QNetworkReply::finished, this, &LocalServerProbe::modelsAnswered);
    return m_probeID;
}

void LocalServerProbe::cancel()
{
    if (QNetworkReply *reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void LocalServerProbe::get(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(probeTimeoutMilliseconds);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);
    // A key that would end its header early is not sent at all.
    if (!m_apiKey.isEmpty() && ProviderWire::isSendableHeaderValue(m_apiKey))
        ProviderWire::setBearerAuthorization(request, m_apiKey);
    m_reply = m_network->get(request);
    ReplyBodyLimit::apply(m_reply, maximumAnswerBytes);
}

QString LocalServerProbe::unreachable(const QNetworkReply &reply) const
{
    switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
        return tr("Nothing is listening at %1. Start your server, for example with "
                  "\u201collama serve\u201d.")
            .arg(m_address.toString());
    case QNetworkReply::OperationCanceledError: // the time-out, or an answer far too long
        return tr("%1 did not answer with a list of models in time.").arg(m_address.toString());
    default:
        return tr("Could not reach %1: %2.").arg(m_address.toString(), reply.errorString());
    }
}

void LocalServerProbe::modelsAnswered()
{
    QNetworkReply *reply = m_reply;
    reply->deleteLater();
    const int status = httpStatus(*reply);
    if (status == 0)
        return finish({{}, unreachable(*reply)});
    if (status == 401 || status == 403)
        return finish({{}, tr("The server refused the key. Enter the key it expects."), true});
    if (status == 200) {
        if (const auto models = openAIModels(reply->readAll()))
            return finish({*models, {}});
    }
    // Older Ollama servers list their models only in their own format.
    get(ServerAddress::ollamaTagsEndpoint(m_address));
    connect(m_reply, &QNetworkReply::finished, this, &LocalServerProbe::tagsAnswered);
}

void LocalServerProbe::tagsAnswered()
{
    QNetworkReply *reply = m_reply;
    reply->deleteLater();
    const auto models = httpStatus(*reply) == 200 ? ollamaModels(reply->readAll()) : std::nullopt;
    if (!models)
        return finish({{},
                       tr("%1 does not answer as an OpenAI-compatible server. Check the address; "
                          "it usually ends in /v1.")
                           .arg(m_address.toString())});
    finish({*models, {}});
}

void LocalServerProbe::finish(Result result)
{
    m_reply = nullptr;
    if (result.problem.isEmpty() && result.models.isEmpty())
        result.problem = tr("The server has no models yet. Get one, for example with "
                            "\u201collama pull llama3.2\u201d.");
    else if (result.problem.isEmpty() && !m_model.isEmpty() && !result.models.contains(m_model))
        result.problem =
            tr("The server has no model \"%1\". Choose one of its models.").arg(m_model);
    Q_EMIT finished(m_probeID, result);
}
