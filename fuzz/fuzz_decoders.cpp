// Every decoder of a body a server sends: the providers' answers and error
// bodies, and the sign-in authority's replies.
#include "core/ai/AIRequestSupport.h"
#include "core/auth/DeviceUserCodeResponse.h"
#include "core/auth/OpenAIProPlusAuthSession.h"
#include "core/auth/TokenResponse.h"
#include "core/providers/AnthropicProvider.h"
#include "core/providers/GoogleProvider.h"
#include "core/providers/OpenAIChatAdapter.h"
#include "core/support/SecretRedaction.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    OpenAIChatAdapter::decodeResponse(body);
    AnthropicProvider::decodeResponse(body);
    GoogleProvider::decodeResponse(body);
    if (const auto message = AIRequestSupport::parseErrorMessage(body))
        SecretRedaction::redact(*message, {QStringLiteral("sk-fuzz/key+1")});
    QString problem;
    TokenResponse::decode(body, &problem);
    DeviceUserCodeResponse::decode(body, &problem);
    DeviceAuthorizationCodeResponse::decode(body, &problem);
    OpenAIProPlusAuthSession::fromJson(body);
    return 0;
}
