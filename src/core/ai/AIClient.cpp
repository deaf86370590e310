#include "core/ai/AIClient.h"

#include <QNetworkAccessManager>

AIClient::AIClient(QObject *parent)
    : QObject(parent)
    , m_session(new QNetworkAccessManager(this))
{
}

AIClient::~AIClient() = default;

AIReply *AIClient::performRequest(const AIHttpRequest &, const AIRequestOptions &, DecodeFunction)
{
    return AIReply::failed(AIClientError::invalidResponse());
}

AIReply *AIClient::performStreamingRequest(const AIHttpRequest &, const AIRequestOptions &,
                                           AIPartialResponseHandler, DecodeChunkFunction)
{
    return AIReply::failed(AIClientError::invalidResponse());
}

std::pair<QString, QString> AIClient::buildPrompts(const QString &instruction,
                                                   const std::optional<QString> &selectedText)
{
    if (selectedText && !selectedText->isEmpty()) {
        return {QStringLiteral("You edit text. Return only the replacement text, with no commentary."),
                QStringLiteral("Selected text:\n") + *selectedText + QStringLiteral("\n\nInstruction:\n") +
                    instruction + QStringLiteral("\n\nReturn only the updated text.")};
    }
    return {QStringLiteral("You are a helpful assistant."), instruction};
}

std::optional<QString> AIClient::parseErrorMessage(const QByteArray &)
{
    return std::nullopt;
}
