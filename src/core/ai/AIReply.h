#pragma once

#include "core/ai/AIClientError.h"
#include "core/support/AsyncOperation.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

// Receives the whole reply text received so far, after each new piece. The
// text only grows: each call's text begins with the previous call's (one
// attempt owns the stream), so a receiver that remembers how much it has seen
// does work for the new text only. The text is the client's growing buffer: a
// receiver that keeps a reference to it makes the next piece's append copy
// the whole text, so copy the new part instead.
using AIPartialResponseHandler = std::function<void(const QString &textSoFar)>;

// One running request to an AI provider: succeeded with the reply text,
// failed with an AIClientError, or cancelled (cancel() aborts the transfers).
class AIReply : public AsyncOperation
{
    Q_OBJECT

public:
    explicit AIReply(QObject *parent = nullptr);
    ~AIReply() override;

    // The reply text once succeeded.
    QString text() const { return m_text; }
    // The error once failed.
    const std::optional<AIClientError> &error() const { return m_error; }

    // For the producer of the reply.
    void finishWithText(const QString &text);
    void finishWithError(const AIClientError &error);
    // Ends this reply as `inner` ends (text, error or cancellation) and cancels
    // `inner` when this one is cancelled. Takes ownership of `inner`.
    void follow(AIReply *inner);

    // A reply that fails with `error` once the event loop runs.
    static AIReply *failed(const AIClientError &error, QObject *parent = nullptr);

private:
    QString m_text;
    std::optional<AIClientError> m_error;
};
