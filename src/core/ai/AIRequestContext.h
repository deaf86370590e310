#pragma once

#include "core/ai/ConversationTurn.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <optional>

// One submission from the session: what to ask, of which model, with which
// credential.
struct AIRequestContext
{
    // Identifies the submission; also the idempotency key of providers that send one.
    QUuid requestID;
    QString model;
    // The secret for API-key providers; "oauth-session" for the subscription
    // provider, which authenticates with its stored sign-in session instead.
    QString apiKey;
    QString instruction;
    std::optional<QString> selectedText;
    // A captured screen region as PNG bytes.
    std::optional<QByteArray> imageData;
    // Where to send it when the user chose the server (a local one); empty
    // for the catalog's endpoint.
    QUrl endpoint;
    // The language the reply is written in; empty: the selection's own.
    QString replyLanguage;
    // When refining: the session's earlier exchanges, oldest first; the
    // first one's instruction goes with the selection.
    QList<ConversationTurn> earlierTurns;
};
