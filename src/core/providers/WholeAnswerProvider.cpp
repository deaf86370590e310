#include "core/providers/WholeAnswerProvider.h"

AIReply *WholeAnswerProvider::sendRequest(AIClient &client, const AIRequestContext &context,
                                          AIPartialResponseHandler) const
{
    return send(client, context, requestOptions());
}

AIDecodeResult WholeAnswerProvider::answer(const std::optional<QString> &text)
{
    if (!text)
        return AIDecodeResult::undecodable();
    if (text->trimmed().isEmpty())
        return AIDecodeResult::failure(AIClientError::emptyResponse());
    return AIDecodeResult::ofText(*text);
}
