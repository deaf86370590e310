#include "core/providers/OpenAIResponsesStreamChunk.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// An object with the string members "type" (equal to `type`) and `member`.
std::optional<QString> typedMember(const QJsonObject &object, const QString &type,
                                   const QString &member)
{
    const QJsonValue typeValue = object.value(QStringLiteral("type"));
    const QJsonValue value = object.value(member);
    if (!typeValue.isString() || !value.isString() || typeValue.toString() != type)
        return std::nullopt;
    return value.toString();
}

bool isCompletion(const QJsonObject &object)
{
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!it.value().isString())
            return false;
    }
    const QString type = object.value(QStringLiteral("type")).toString();
    return type == QLatin1String("response.completed") ||
           type == QLatin1String("response.incomplete");
}

} // namespace

std::optional<OpenAIResponsesStreamChunk>
OpenAIResponsesStreamChunk::decode(const QByteArray &payload)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return std::nullopt;
    if (!document.isObject())
        return OpenAIResponsesStreamChunk{};
    const QJsonObject object = document.object();
    if (auto delta = typedMember(object, QStringLiteral("response.output_text.delta"),
                                 QStringLiteral("delta")))
        return OpenAIResponsesStreamChunk{Kind::textDelta, *delta};
    if (auto message = typedMember(object, QStringLiteral("error"), QStringLiteral("message")))
        return OpenAIResponsesStreamChunk{Kind::error, *message};
    if (isCompletion(object))
        return OpenAIResponsesStreamChunk{Kind::completed, {}};
    return OpenAIResponsesStreamChunk{};
}
