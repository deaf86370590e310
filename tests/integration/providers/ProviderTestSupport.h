#pragma once

#include "core/ai/AIClient.h"
#include "core/ai/AIRequestContext.h"
#include "support/TestHttpServer.h"

#include <QMetaType>
#include <QStringList>
#include <optional>

// Shared by the provider wire-format tests: a user catalog that points every
// provider at the local server, request contexts, and one exchange.
namespace ProviderTestSupport {

// Writes $XDG_CONFIG_HOME/Wrenlark/model-catalog.json with every provider's
// endpoint on `server` (Gemini's with the query "?alt=json&key=stale", which
// the key must replace). Must run before the first use of the catalog;
// fails outside the test sandbox.
void writeUserCatalog(const TestHttpServer &server);
// Path of a provider's endpoint on the local server.
QByteArray endpointPath(const QString &providerID, const QString &model = QStringLiteral("m1"));

enum class ContextKind { text, selection, image };
AIRequestContext makeContext(ContextKind kind, const QString &apiKey = QStringLiteral("test-key"),
                             const QString &model = QStringLiteral("m1"));
// Bytes whose Base64 is longer than a MIME line and holds "+" and "/".
QByteArray sampleImage();

struct Exchange
{
    AIReply::State state = AIReply::State::running;
    QString text;
    std::optional<AIClientError> error;
    // What the partial-response callback received, when one was passed.
    QStringList partials;
    // The request the server received, when one arrived.
    std::optional<TestHttpServer::RecordedRequest> request;
};

// Waits for the reply to end (and deletes it).
Exchange finish(AIReply *reply);
// Sends through the registered provider, with a collecting callback when
// `withCallback`, and waits for the end.
Exchange exchange(TestHttpServer &server, AIClient &client, const QString &providerID,
                  const AIRequestContext &context, bool withCallback);

} // namespace ProviderTestSupport

Q_DECLARE_METATYPE(ProviderTestSupport::ContextKind)
