#pragma once

#include "core/ai/AIDecodeResult.h"
#include "core/ai/AIRequestOptions.h"
#include "core/providers/AIProvider.h"

#include <optional>

// A provider whose family always asks for a whole answer: a partial-response
// callback is accepted and never called.
class WholeAnswerProvider : public AIProvider
{
public:
    AIReply *sendRequest(AIClient &client, const AIRequestContext &context,
                         AIPartialResponseHandler onPartialResponse) const final;
    // The same with other options (tests use short intervals).
    virtual AIReply *send(AIClient &client, const AIRequestContext &context,
                          const AIRequestOptions &options) const = 0;

protected:
    using AIProvider::AIProvider;

    // The decoded text of a body (nothing: the body is not the family's
    // shape) as the client's result; a blank text fails with emptyResponse.
    static AIDecodeResult answer(const std::optional<QString> &text);
};
