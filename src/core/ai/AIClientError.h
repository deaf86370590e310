#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

// Every way a request to an AI provider can fail, with a diagnostic text for
// the log (errorDescription) and the one-line text the command bar shows
// (userFacingMessage). Cancellation is never an error: see AIReply.
//
// Besides the provider-level cases the request layer reports three more:
// `network` is a transport failure (QNetworkReply::NetworkError code, with
// timedOut distinguishable), `streamInterrupted` is a stream that broke after
// some text arrived (the text is kept, the reply is not complete), and `other`
// wraps a failure of another component (for example sign-in) by its texts.
class AIClientError
{
public:
    enum class Kind {
        requestFailed,
        decodingFailed,
        unknownProvider,
        invalidResponse,
        emptyResponse,
        network,
        streamInterrupted,
        other,
    };

    static AIClientError requestFailed(int statusCode,
                                       std::optional<QString> message = std::nullopt);
    static AIClientError decodingFailed(std::optional<QString> message = std::nullopt);
    static AIClientError unknownProvider(const QString &providerID);
    static AIClientError invalidResponse();
    static AIClientError emptyResponse();
    // `networkError` is a QNetworkReply::NetworkError value; `message` its text.
    static AIClientError network(int networkError, const QString &message);
    static AIClientError timedOut();
    static AIClientError streamInterrupted(const QString &partialText, const AIClientError &cause);
    static AIClientError other(const QString &description,
                               std::optional<QString> userFacingMessage = std::nullopt);

    Kind kind() const { return m_kind; }
    int statusCode() const { return m_statusCode; }
    const std::optional<QString> &message() const { return m_message; }
    QString providerID() const { return m_providerID; }
    int networkError() const { return m_networkError; }
    bool isTimedOut() const;
    // For streamInterrupted: the text received before the stream broke.
    QString partialText() const { return m_partialText; }
    // For streamInterrupted: why it broke.
    const AIClientError *cause() const { return m_cause.get(); }

    // This error with every secret removed from the texts that came from the
    // server (see SecretRedaction); the partial reply text stays as it is.
    AIClientError redacted(const QStringList &secrets) const;

    QString errorDescription() const;
    QString userFacingMessage() const;

    friend bool operator==(const AIClientError &a, const AIClientError &b);

private:
    explicit AIClientError(Kind kind)
        : m_kind(kind)
    {
    }

    Kind m_kind;
    int m_statusCode = 0;
    std::optional<QString> m_message;
    QString m_providerID;
    int m_networkError = 0;
    QString m_partialText;
    std::optional<QString> m_userFacingOverride;
    std::shared_ptr<const AIClientError> m_cause;
};
