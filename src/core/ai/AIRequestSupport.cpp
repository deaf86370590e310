#include "core/ai/AIRequestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace {

std::optional<QString> nonEmptyString(const QJsonValue &value)
{
    if (value.isString() && !value.toString().isEmpty())
        return value.toString();
    return std::nullopt;
}

} // namespace

namespace AIRequestSupport {

std::pair<QString, QString> buildPrompts(const QString &instruction,
                                         const std::optional<QString> &selectedText,
                                         const QString &replyLanguage)
{
    // Without it, models tend to answer in the language of the instruction
    // ("fix the grammar" over a German text comes back in English).
    const QString language =
        replyLanguage.isEmpty()
            ? QStringLiteral(" Keep the language of the selected text unless the instruction "
                             "asks for another.")
            : QStringLiteral(" Write the replacement text in %1.").arg(replyLanguage);
    if (selectedText && !selectedText->isEmpty()) {
        return {
            QStringLiteral("You edit text. Return only the replacement text, with no commentary.") +
                language,
            QStringLiteral("Selected text:\n") + *selectedText +
                QStringLiteral("\n\nInstruction:\n") + instruction +
                QStringLiteral("\n\nReturn only the updated text.")};
    }
    const QString assistant = QStringLiteral("You are a helpful assistant.");
    if (replyLanguage.isEmpty())
        return {assistant, instruction};
    return {assistant + QStringLiteral(" Reply in %1.").arg(replyLanguage), instruction};
}

Prompt buildPrompt(const AIRequestContext &context)
{
    const QList<ConversationTurn> &turns = context.earlierTurns;
    const QString first = turns.isEmpty() ? context.instruction : turns.first().instruction;
    const auto [system, user] = buildPrompts(first, context.selectedText, context.replyLanguage);
    Prompt prompt{system, {{true, user}}};
    for (qsizetype i = 0; i < turns.size(); ++i) {
        prompt.messages.append({false, turns.at(i).reply});
        prompt.messages.append(
            {true, i + 1 < turns.size() ? turns.at(i + 1).instruction : context.instruction});
    }
    return prompt;
}

std::optional<QString> parseErrorMessage(const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (document.isObject()) {
        const QJsonObject object = document.object();
        const QJsonValue error = object.value(QStringLiteral("error"));
        const QJsonObject errorObject = error.toObject();
        for (const QJsonValue &candidate : {errorObject.value(QStringLiteral("message")),
                                            object.value(QStringLiteral("message")), error,
                                            errorObject.value(QStringLiteral("error"))
                                                .toObject()
                                                .value(QStringLiteral("message"))}) {
            if (auto message = nonEmptyString(candidate))
                return message;
        }
    }
    if (!body.isValidUtf8())
        return std::nullopt;
    const QString text = QString::fromUtf8(body).trimmed();
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

bool shouldRetryAfterTimeout(const AIClientError &error)
{
    return error.isTimedOut();
}

AIClientError normalizeRequestError(const AIClientError &error)
{
    if (shouldRetryAfterTimeout(error))
        return AIClientError::requestFailed(408, QStringLiteral("The request timed out."));
    return error;
}

} // namespace AIRequestSupport
