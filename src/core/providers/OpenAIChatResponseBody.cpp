#include "core/providers/OpenAIChatResponseBody.h"

#include "core/providers/ProviderWire.h"

#include <QJsonArray>
#include <QJsonObject>

std::optional<OpenAIChatResponseBody> OpenAIChatResponseBody::decode(const QByteArray &body)
{
    const auto object = ProviderWire::parseObject(body);
    QJsonArray choicesJson;
    if (!object || !ProviderWire::readArray(*object, QStringLiteral("choices"), &choicesJson))
        return std::nullopt;

    OpenAIChatResponseBody response;
    for (const QJsonValue &choiceValue : choicesJson) {
        QJsonObject message;
        Choice choice;
        if (!ProviderWire::readObject(choiceValue.toObject(), QStringLiteral("message"),
                                      &message) ||
            !ProviderWire::readString(message, QStringLiteral("content"), &choice.message.content))
            return std::nullopt;
        response.choices.append(choice);
    }
    return response;
}
