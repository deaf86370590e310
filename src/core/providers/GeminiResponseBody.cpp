#include "core/providers/GeminiResponseBody.h"

#include "core/providers/ProviderWire.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

bool decodeCandidate(const QJsonObject &object, GeminiResponseBody::Candidate *candidate)
{
    QJsonObject content;
    QJsonArray parts;
    if (!ProviderWire::readObject(object, QStringLiteral("content"), &content) ||
        !ProviderWire::readArray(content, QStringLiteral("parts"), &parts))
        return false;
    for (const QJsonValue &partValue : parts) {
        GeminiResponseBody::Part part;
        if (!partValue.isObject() || !ProviderWire::readOptionalString(
                                         partValue.toObject(), QStringLiteral("text"), &part.text))
            return false;
        candidate->content.parts.append(part);
    }
    return true;
}

} // namespace

std::optional<GeminiResponseBody> GeminiResponseBody::decode(const QByteArray &body)
{
    const auto object = ProviderWire::parseObject(body);
    QJsonArray candidates;
    if (!object || !ProviderWire::readArray(*object, QStringLiteral("candidates"), &candidates))
        return std::nullopt;

    GeminiResponseBody response;
    for (const QJsonValue &candidateValue : candidates) {
        Candidate candidate;
        if (!decodeCandidate(candidateValue.toObject(), &candidate))
            return std::nullopt;
        response.candidates.append(candidate);
    }
    return response;
}

QString GeminiResponseBody::text() const
{
    QString text;
    if (candidates.isEmpty())
        return text;
    for (const Part &part : candidates.first().content.parts)
        text += part.text.value_or(QString());
    return text;
}
