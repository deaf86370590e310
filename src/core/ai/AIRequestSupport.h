#pragma once

#include "core/ai/AIClientError.h"
#include "core/ai/AIRequestContext.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

// What the provider families, the attempts and the time-out runners share
// about a request: the prompts it carries and how its failures read.
namespace AIRequestSupport {

// (system prompt, user prompt) for an instruction and optional selection,
// the reply in `replyLanguage` when one is given.
std::pair<QString, QString> buildPrompts(const QString &instruction,
                                         const std::optional<QString> &selectedText,
                                         const QString &replyLanguage = QString());

// What a request says, in the order the providers' formats take it: the
// system prompt, then the messages, oldest first and alternating. The first
// (the user's, with the selection and the first instruction) is the one a
// captured image goes with; when refining, each earlier reply follows as the
// model's and the next instruction as the user's; the last is always the
// user's current instruction.
struct PromptMessage
{
    bool fromUser = true;
    QString text;
};
struct Prompt
{
    QString system;
    QList<PromptMessage> messages;
};
Prompt buildPrompt(const AIRequestContext &context);

// The message of an error body: error.message, message, error (a string),
// error.error.message, else the trimmed UTF-8 text; nothing when empty.
std::optional<QString> parseErrorMessage(const QByteArray &body);

// Whether the failure is an attempt's idle time-out.
bool shouldRetryAfterTimeout(const AIClientError &error);
// A time-out becomes requestFailed(408, "The request timed out.");
// everything else is returned unchanged.
AIClientError normalizeRequestError(const AIClientError &error);

} // namespace AIRequestSupport
