#include "core/providers/AIProviderRegistry.h"
#include "core/settings/SettingsStore.h"
#include "support/AppStateHarness.h"
#include "support/TestHttpServer.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

using Response = TestHttpServer::Response;
using Request = TestHttpServer::RecordedRequest;
namespace Signal = AnalyticsSignal;
namespace Parameter = AnalyticsParameter;

namespace {

const QByteArray chatPath = "/openai/v1/chat";
const QByteArray subscriptionPath = "/openai-pro-plus/v1/chat";

QByteArray chatDelta(const QString &text)
{
    return TestHttpServer::sseData(
        QJsonObject{{QStringLiteral("choices"),
                     QJsonArray{QJsonObject{{QStringLiteral("delta"),
                                             QJsonObject{{QStringLiteral("content"), text}}}}}}});
}

QByteArray chatDone()
{
    return TestHttpServer::sseData(QByteArrayLiteral("[DONE]"));
}

Response chatStream(const QStringList &pieces)
{
    QList<QByteArray> events;
    for (const QString &piece : pieces)
        events.append(chatDelta(piece));
    events.append(chatDone());
    return Response::eventStream(events, 20);
}

Response wholeChat(const QString &text)
{
    return Response::json(
        200,
        QJsonObject{{QStringLiteral("choices"),
                     QJsonArray{QJsonObject{{QStringLiteral("message"),
                                             QJsonObject{{QStringLiteral("content"), text}}}}}}});
}

// Text, then the connection is reset. The last piece only pads the stream so
// the reset never races the text.
Response brokenStream(const QList<QByteArray> &textEvents)
{
    QList<QByteArray> events = textEvents;
    events.append(QByteArrayLiteral(": keep-alive\n\n"));
    return Response::eventStream(events, 60).withEnding(Response::Ending::reset);
}

QString userMessage(const Request &request)
{
    const QJsonArray messages = request.jsonBody().value(QStringLiteral("messages")).toArray();
    for (const QJsonValue &message : messages) {
        if (message[QStringLiteral("role")].toString() == QLatin1String("user"))
            return message[QStringLiteral("content")].toString();
    }
    return {};
}

SelectionResult selected(const QString &text)
{
    return SelectionResult::withContext(
        AppStateHarness::selection(text, SelectionRange{0, text.size()}));
}

bool isWholeMilliseconds(const QString &text)
{
    return QRegularExpression(QStringLiteral("^\\d+$")).match(text).hasMatch();
}

} // namespace

// Submitting instructions and handling replies, with providers pointed at a
// local server.
class TestAppStateRequests : public QObject
{
    Q_OBJECT

    TestHttpServer m_server;

private Q_SLOTS:
    void initTestCase() { writeSessionTestCatalog(m_server); }

    void savedCommandIsExpandedAndTheReplyStreams()
    {
        AppStateHarness harness;
        AppState &state = harness.state();
        harness.configureApiKeyProvider(QStringLiteral("openai"));
        m_server.enqueue("POST", chatPath,
                         chatStream({QStringLiteral("Hello"), QStringLiteral(" world")}));
        harness.open();
        harness.type(QStringLiteral("  ENG \n"));
        QSignalSpy loadingChanged(&state, &AppState::isLoadingChanged);

        state.submit(SubmitAction::showOutput);
        QVERIFY(state.isLoading());
        QCOMPARE(state.executingCommandText(), std::optional<QString>(QStringLiteral("ENG")));
        QCOMPARE(state.executingCommandInstruction(),
                 std::optional<QString>(QStringLiteral("translate to English")));
        QTRY_VERIFY(!state.isLoading());

        QCOMPARE(state.responseText(), QStringLiteral("Hello world"));
        QCOMPARE(state.lastResponseInputRevision(), std::optional(state.inputRevision()));
        QVERIFY(!state.executingCommandText());
        QCOMPARE(loadingChanged.size(), 2);
        const Request request = m_server.requestsTo(chatPath).constLast();
        QCOMPARE(userMessage(request), QStringLiteral("translate to English"));
        QVERIFY(request.jsonBody().value(QStringLiteral("stream")).toBool());

        QVERIFY(harness.waitForSignal(Signal::querySucceeded));
        const auto submitted = harness.signalsNamed(Signal::querySubmitted).first().parameters;
        QCOMPARE(submitted.value(Parameter::providerID), QStringLiteral("openai"));
        QCOMPARE(submitted.value(Parameter::model), QStringLiteral("model-1"));
        QCOMPARE(submitted.value(Parameter::action), QStringLiteral("show_output"));
        QCOMPARE(submitted.value(Parameter::selectionState), QStringLiteral("no_selection"));
        QCOMPARE(submitted.value(Parameter::hasImageContext), QStringLiteral("false"));
        QCOMPARE(submitted.value(Parameter::usesSavedCommand), QStringLiteral("true"));
        QCOMPARE(submitted.value(Parameter::usageSessionQueryCount), QStringLiteral("1"));
        const auto succeeded = harness.signalsNamed(Signal::querySucceeded).first().parameters;
        QCOMPARE(succeeded.value(Parameter::action), QStringLiteral("show_output"));
        QCOMPARE(succeeded.value(Parameter::hadSelectionContext), QStringLiteral("false"));
        QVERIFY(isWholeMilliseconds(succeeded.value(Parameter::durationMilliseconds)));
        const QString log = harness.newLog();
        QVERIFY(log.contains(QStringLiteral("[INFO] Request submitted.")));
        QVERIFY(log.contains(QStringLiteral("[INFO] Response received.")));
    }

    // Each update while streaming shows the whole text so far (only its new
    // part is copied); the complete reply is the trimmed text.
    void everyStreamedUpdateShowsTheTextSoFar()
    {
        AppStateTimings timings;
        timings.partialResponseThrottleSeconds = 0;
        AppStateHarness harness(timings);
        AppState &state = harness.state();
        harness.configureApiKeyProvider(QStringLiteral("openai"));
        const QStringList pieces{QStringLiteral(" Hel"), QStringLiteral("lo"),
                                 QStringLiteral(" wör"), QStringLiteral("ld\n")};
        m_server.enqueue("POST", chatPath, chatStream(pieces));
        QStringList shown;
        connect(&state, &AppState::responseTextChanged, this,
                [&] { shown.append(state.responseText()); });
        harness.open();
        harness.type(QStringLiteral("go"));
        state.submit(SubmitAction::showOutput);
        QTRY_VERIFY(!state.isLoading());

        QCOMPARE(state.responseText(), QStringLiteral("Hello wörld"));
        QVERIFY2(shown.size() >= 2, qPrintable(shown.join(u'|')));
        QCOMPARE(shown.constLast(), QStringLiteral("Hello wörld"));
        QString textSoFar;
        QStringList sofar;
        for (const QString &piece : pieces)
            sofar.append(textSoFar += piece);
        for (qsizetype i = 0; i + 1 < shown.size(); ++i)
            QVERIFY2(shown[i].isEmpty() || sofar.contains(shown[i]), qPrintable(shown[i]));
        QVERIFY(shown.contains(sofar.constLast()));
    }

    void onlyTheNewestSubmitCounts()
    {
        AppStateHarness harness;
        AppState &state = harness.state();
        harness.configureApiKeyProvider(QStringLiteral("openai"));
        m_server.enqueue("POST", chatPath,
                         Response::eventStream({chatDelta(QStringLiteral("first"))})
                             .withEnding(Response::Ending::stall));
        m_server.enqueue("POST", chatPath, chatStream({QStringLiteral("second")}));
        const int closedBefore = m_server.clientClosedConnections();
        harness.open();
        harness.type(QStringLiteral("one"));
        state.submit(SubmitAction::showOutput);
        QTRY_COMPARE(state.responseText(), QStringLiteral("first"));

        QStringList shown;
        connect(&state, &AppState::responseTextChanged, this,
                [&] { shown.append(state.responseText()); });
        QSignalSpy loadingChanged(&state, &AppState::isLoadingChanged);
        harness.type(QStringLiteral("two"));
        state.submit(SubmitAction::showOutput);
        QVERIFY(state.isLoading());
        QVERIFY(m_server.waitForClientClosedConnections(closedBefore + 1));
        QTRY_VERIFY(!state.isLoading());

        QCOMPARE(state.responseText(), QStringLiteral("second"));
        QCOMPARE(shown, (QStringList{QString(), QStringLiteral("second")}));
        QCOMPARE(loadingChanged.size(), 1); // only the second request ends the loading
        harness.flushSignals();
        QCOMPARE(harness.signalsNamed(Signal::querySubmitted).size(), 2);
        QCOMPARE(harness.signalsNamed(Signal::querySucceeded).size(), 1);
        QVERIFY(harness.signalsNamed(Signal::queryFailed).isEmpty());
        const QString log = harness.newLog();
        QCOMPARE(log.count(QStringLiteral("Request canceled.")), 1);
        QCOMPARE(log.count(QStringLiteral("Response received.")), 1);
    }

    void brokenStreamKeepsItsTextAndTheReplaceKeyReusesIt()
    {
        AppStateHarness harness;
        AppState &state = harness.state();
        harness.configureApiKeyProvider(QStringLiteral("openai"));
        harness.selection().setDefaultResult(FakeSelectionService::Kind::fetch,
                                             selected(QStringLiteral("old text")));
        m_server.enqueue("POST", chatPath,
                         brokenStream({chatDelta(QStringLiteral("Partial ")),
                                       chatDelta(QStringLiteral("answer"))}));
        harness.open();
        QTRY_VERIFY(state.hasSelection());
        harness.type(QStringLiteral("shorter"));
        state.submit(SubmitAction::showOutput);
        QTRY_VERIFY(!state.isLoading());

        QCOMPARE(state.responseText(), QStringLiteral("Partial answer"));
        QVERIFY(state.status().kind == SessionStatus::Kind::interrupted);
        QCOMPARE(state.lastResponseInputRevision(), std::optional(state.inputRevision()));
        QVERIFY(harness.newLog().contains(
            QStringLiteral("[INFO] Stream interrupted; keeping partial response.")));

        const qsizetype requestsBefore = m_server.requestCount();
        state.submitFromCommandReplaceShortcut();
        QTRY_COMPARE(harness.closeRequests(), 1);
        QCOMPARE(m_server.requestCount(), requestsBefore);
        QCOMPARE(harness.replacement().calls().size(), 1);
        QCOMPARE(harness.replacement().calls().first().text, QStringLiteral("Partial answer"));
        QCOMPARE(harness.replacement().calls().first().context.selectedText,
                 QStringLiteral("old text"));
        QVERIFY(harness.newLog().contains(
            QStringLiteral("Reusing existing response for selection replacement.")));

        QVERIFY(harness.waitForSignal(Signal::usageSessionEnded));
        harness.flushSignals();
        QVERIFY(harness.signalsNamed(Signal::queryFailed).isEmpty());
        QCOMPARE(harness.signalsNamed(Signal::selectionReplaceDispatched)
                     .first()
                     .parameters.value(Parameter::reusedExistingResponse),
                 QStringLiteral("true"));
        const auto ended = harness.signalsNamed(Signal::usageSessionEnded).first().parameters;
        QCOMPARE(ended.value(Parameter::endReason), QStringLiteral("replaced_selection"));
        QCOMPARE(ended.value(Parameter::queryCount), QStringLiteral("1"));
    }

    // Ctrl+Return while the reply to the very text in the input streams:
    // that reply is written once complete, with no second request; a broken
    // stream or an edit meanwhile writes nothing.
    void replaceKeyDuringTheStreamWritesThatReply_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::newRow("stream completes") << QString();
        QTest::newRow("stream breaks") << QStringLiteral("break");
        QTest::newRow("input edited") << QStringLiteral("edit");
    }

    void replaceKeyDuringTheStreamWritesThatReply()
    {
        QFETCH(QString, meanwhile);
        AppStateHarness harness;
        AppState &state = harness.state();
        harness.configureApiKeyProvider(QStringLiteral("openai"));
        harness.selection().setDefaultResult(FakeSelectionService::Kind::fetch,
                                             selected(QStringLiteral("old text")));
        Response stream = meanwhile == QLatin1String("break")
                              ? brokenStream({chatDelta(QStringLiteral("New ")),
                                              chatDelta(QStringLiteral("text"))})
                              : chatStream({QStringLiteral("New "), QStringLiteral("text")});
        stream.pieces[1].delayMs = Response::held;
        m_server.enqueue("POST", chatPath, stream);
        const qsizetype requestsBefore = m_server.requestCount();
        harness.open();
        QTRY_VERIFY(state.hasSelection());
        harness.type(QStringLiteral("rewrite"));
        state.submit(SubmitAction::showOutput);
        QTRY_COMPARE(state.responseText(), QStringLiteral("New "));

        state.submitFromCommandReplaceShortcut();
        state.submitFromCommandReplaceShortcut();
        QVERIFY(state.status().kind == SessionStatus::Kind::writingWhenComplete);
        QVERIFY(state.isLoading());
        if (meanwhile == QLatin1String("edit"))
            harness.type(QStringLiteral("rewrite it"));
        m_server.releaseHeld();
        QTRY_VERIFY(!state.isLoading());

        QCOMPARE(m_server.requestCount(), requestsBefore + 1);
        if (meanwhile.isEmpty()) {
            QTRY_COMPARE(harness.closeRequests(), 1);
            QCOMPARE(harness.replacement().calls().size(), 1);
            QCOMPARE(harness.replacement().calls().first().text, QStringLiteral("New text"));
            return;
        }
        QVERIFY(harness.replacement().calls().isEmpty());
        QCOMPARE(harness.closeRequests(), 0);
        QCOMPARE(state.status().kind, meanwhile == QLatin1String("break")
                                          ? SessionStatus::Kind::interrupted
                                          : SessionStatus::Kind::none);
    }

    // Opening the bar connects to the provider's server while the user
    // types; the request then goes over that connection. A provider not set
    // up yet (no key) is not contacted.
    void openingTheBarWarmsTheConnection()
    {
        AppStateHarness harness({}, true);
        AppState &state = harness.state();
        SettingsStore(std::make_shared<FakeSecretStore>())
            .setCurrentProvider(*AIProviderRegistry::shared().provider(QStringLiteral("openai")));
        harness.open();
        QCoreApplication::processEvents(); // the check whether to connect ahead starts
        QVERIFY(QThreadPool::globalInstance()->waitForDone(10000));
        QCoreApplication::processEvents(); // and its answer arrives
        QVERIFY(!harness.newLog().contains(QStringLiteral("Connecting ahead")));

        harness.configureApiKeyProvider(QStringLiteral("openai"));
        m_server.enqueue("POST", chatPath, chatStream({QStringLiteral("Hi")}));
        const int accepted = m_server.acceptedConnections();
        harness.open();
        QTRY_COMPARE(m_server.acceptedConnections(), accepted + 1);

        harness.type(QStringLiteral("hello"));
        state.submit(SubmitAction::showOutput);
        QTRY_VERIFY(!state.isLoading());
        QCOMPARE(state.responseText(), QStringLiteral("Hi"));
        QCOMPARE(m_server.requests().constLast().connection, accepted + 1);
        QCOMPARE(m_server.acceptedConnections(), accepted + 1);
    }

    // Waking from a suspend ends the reply in flight at once, its text kept
    // as interrupted (its connection is dead and would only run into the
    // time-out), and the next request goes on a new connection.
    void aSuspendEndsTheStreamAndItsConnection()
    {
        AppStateHarness harness;
        AppState &state = harness.state();
        harness.configureApiKeyProvider(QStringLiteral("openai"));
        Response stream = chatStream({QStringLiteral("Half"), QStringLiteral(" more")});
        stream.pieces[1].delayMs = Response::held;
        m_server.enqueue("POST", chatPath, stream);
        m_server.enqueue("POST", chatPath, chatStream({QStringLiteral("Again")}));
        harness.open();
        harness.type(QStringLiteral("go"));
        state.submit(SubmitAction::showOutput);
        QTRY_COMPARE(state.responseText(), QStringLiteral("Half"));

        state.systemResumed();
        QTRY_VERIFY(!state.isLoading());
        QCOMPARE(state.responseText(), QStringLiteral("Half"));
        QVERIFY(state.status().kind == SessionStatus::Kind::interrupted);
        m_server.releaseHeld();

        harness.type(QStringLiteral("go on"));
        state.submit(SubmitAction::showOutput);
        QTRY_VERIFY(!state.isLoading());
        QCOMPARE(state.responseText(), QStringLiteral("Again"));
        const QList<Request> requests = m_server.requestsTo(chatPath);
        QCOMPARE_NE(requests.constLast().connection, requests.at(requests.size() - 2).connection);
    }

    void replaceKeyAsksAgainAfterAnyEdit_data()
    {
        QTest::addColumn<bool>("dispatches");
        QTest::addColumn<QString>("failureMessage");
        QTest::newRow("replacement dispatched") << true << QString();
        QTest::newRow("replacement not dispatched") << false << QString();
        // The desktop's own reason is what the user reads.
        QTest::newRow("replacement not dispatched, with a reason")
            << false
            << QStringLiteral("Wrenlark cannot paste here; the reply is on the clipboard.");
    }

    void replaceKeyAsksAgainAfterAnyEdit()
    {
        QFETCH(bool, dispatches);
        QFETCH(QString, failureMessage);
        AppStateHarness harness;
        AppState &state = harness.state();
        harness.configureApiKeyProvider(QStringLiteral("openai"));
        harness.selection().setDefaultResult(FakeSelectionService::Kind::fetch,
                                             selected(QStringLiteral("old text")));
        harness.replacement().setDispatches(dispatches, failureMessage);
        m_server.enqueue("POST", chatPath, chatStream({QStringLiteral("First reply")}));
        m_server.enqueue("POST", chatPath, wholeChat(QStringLiteral("Second reply")));
        harness.open();
        QTRY_VERIFY(state.hasSelection());
        harness.type(QStringLiteral("shorter"));
        state.submit(SubmitAction::showOutput);
        QTRY_COMPARE(state.responseText(), QStringLiteral("First reply"));
        QTRY_VERIFY(!state.isLoading());

        // Back to the same text: still an edit after the reply.
        harness.type(QStringLiteral("shorter!"));
        harness.type(QStringLiteral("shorter"));
        const qsizetype requestsBefore = m_server.requestsTo(chatPath).size();
        state.submitFromCommandReplaceShortcut();
        QTRY_VERIFY(!state.isLoading());

        QCOMPARE(m_server.requestsTo(chatPath).size(), requestsBefore + 1);
        const Request request = m_server.requestsTo(chatPath).constLast();
        QVERIFY(!request.jsonBody().value(QStringLiteral("stream")).toBool());
        QVERIFY(userMessage(request).startsWith(QStringLiteral("Selected text:\nold text")));
        QCOMPARE(harness.replacement().calls().size(), 1);
        QCOMPARE(harness.replacement().calls().first().text, QStringLiteral("Second reply"));
        const QString log = harness.newLog();
        QVERIFY(log.contains(QStringLiteral("Selection replacement received.")));
        QVERIFY(!log.contains(QStringLiteral("Reusing existing response")));
        if (dispatches) {
            QCOMPARE(harness.closeRequests(), 1);
            QCOMPARE(state.responseText(), QString());
            QVERIFY(harness.waitForSignal(Signal::selectionReplaceDispatched));
        } else {
            QCOMPARE(harness.closeRequests(), 0);
            QVERIFY(state.status() == (failureMessage.isEmpty()
                                           ? SessionStatus{SessionStatus::Kind::replaceFailed, {}}
                                           : SessionStatus::worded(failureMessage)));
            QCOMPARE(state.responseText(), QStringLiteral("Second reply"));
            QCOMPARE(state.lastResponseInputRevision(), std::optional(state.inputRevision()));
            QVERIFY(log.contains(QStringLiteral("Selection replacement failed before dispatch.")));
            QVERIFY(harness.waitForSignal(Signal::selectionReplaceFailed));
        }
        const auto succeeded = harness.signalsNamed(Signal::querySucceeded).constLast().parameters;
        QCOMPARE(succeeded.value(Parameter::action), QStringLiteral("replace_selection"));
        QCOMPARE(succeeded.value(Parameter::hadSelectionContext), QStringLiteral("true"));
        QCOMPARE(harness.signalsNamed(Signal::selectionReplaceAttempted)
                     .first()
                     .parameters.value(Parameter::reusedExistingResponse),
                 QStringLiteral("false"));
    }

    void replaceWithoutSelectionShowsTheReply()
    {
        AppStateHarness harness;
        AppState &state = harness.state();
        harness.configureApiKeyProvider(QStringLiteral("openai"));
        m_server.enqueue("POST", chatPath, wholeChat(QStringLiteral("Four")));
        harness.open();
        QTRY_VERIFY(!state.isDetectingSelection());
        harness.type(QStringLiteral("what is 2+2"));

        state.submitFromCommandReplaceShortcut();
        // With no selection held, the target is read once more.
        QCOMPARE(harness.selection().calls().size(), 2);
        const SelectionRequest &reread = harness.selection().calls().constLast().request;
        QCOMPARE(reread.targetPid, std::optional<qint32>(AppStateHarness::editorPid));
        QCOMPARE(reread.restorePid, std::optional<qint32>(AppStateHarness::ownPid));
        QVERIFY(reread.traceID.isEmpty());
        QTRY_COMPARE(state.responseText(), QStringLiteral("Four"));
        QTRY_VERIFY(!state.isLoading());

        QVERIFY(harness.replacement().calls().isEmpty());
        QCOMPARE(harness.closeRequests(), 0);
        QCOMPARE(userMessage(m_server.requestsTo(chatPath).constLast()),
                 QStringLiteral("what is 2+2"));
        QVERIFY(harness.waitForSignal(Signal::querySucceeded));
        const auto succeeded = harness.signalsNamed(Signal::querySucceeded).first().parameters;
        QCOMPARE(succeeded.value(Parameter::action), QStringLiteral("replace_selection"));
        QCOMPARE(succeeded.value(Parameter::hadSelectionContext), QStringLiteral("false"));
    }

    // A reply meant to be written over the selection whose stream broke is
    // shown as incomplete; nothing is written into the other application.
    void brokenReplaceStreamWritesNothing()
    {
        AppStateHarness harness;
        AppState &state = harness.state();
        harness.configureSubscription();
        harness.selection().setDefaultResult(FakeSelectionService::Kind::fetch,
                                             selected(QStringLiteral("old text")));
        const auto delta = [](const QString &text) {
            return TestHttpServer::sseData(
                QJsonObject{{QStringLiteral("type"), QStringLiteral("response.output_text.delta")},
                            {QStringLiteral("delta"), text}});
        };
        m_server.enqueue(
            "POST", subscriptionPath,
            brokenStream({delta(QStringLiteral("Half a rep")), delta(QStringLiteral("ly"))}));
        harness.open();
        QTRY_VERIFY(state.hasSelection());
        harness.type(QStringLiteral("rewrite"));

        state.submitFromCommandReplaceShortcut();
        QVERIFY(state.isLoading());
        QTRY_VERIFY(!state.isLoading());

        QVERIFY(harness.replacement().calls().isEmpty());
        QCOMPARE(harness.closeRequests(), 0);
        QCOMPARE(state.responseText(), QStringLiteral("Half a reply"));
        QVERIFY(state.status().kind == SessionStatus::Kind::interrupted);
        QCOMPARE(m_server.requestsTo(subscriptionPath).constLast().header("Authorization"),
                 QByteArrayLiteral("Bearer access-token"));
        QVERIFY(harness.newLog().contains(
            QStringLiteral("Stream interrupted; keeping partial response.")));
        harness.flushSignals();
        QVERIFY(harness.signalsNamed(Signal::querySucceeded).isEmpty());
        QVERIFY(harness.signalsNamed(Signal::queryFailed).isEmpty());
        QVERIFY(harness.signalsNamed(Signal::selectionReplaceAttempted).isEmpty());
    }

    void refusalTestStringInTheSelectionIsMadeInert()
    {
        AppStateHarness harness;
        AppState &state = harness.state();
        harness.configureApiKeyProvider(QStringLiteral("openai"));
        const QString refusal = AppState::refusalTestString;
        harness.selection().setDefaultResult(
            FakeSelectionService::Kind::fetch,
            selected(QStringLiteral("quote ") + refusal + QStringLiteral(" end")));
        m_server.enqueue("POST", chatPath, chatStream({QStringLiteral("ok")}));
        harness.open();
        QTRY_VERIFY(state.hasSelection());
        harness.type(QStringLiteral("explain ") + refusal);

        state.submit(SubmitAction::showOutput);
        QTRY_VERIFY(!state.isLoading());

        QCOMPARE(userMessage(m_server.requestsTo(chatPath).constLast()),
                 QStringLiteral("Selected text:\nquote ") + AppState::inertRefusalTestString +
                     QStringLiteral(" end\n\nInstruction:\nexplain ") + refusal +
                     QStringLiteral("\n\nReturn only the updated text."));
        // The held selection itself is left as it was read.
        QVERIFY(state.selectionContext()->selectedText.contains(refusal));
    }

    void escapeWhileStreamingDropsTheRest()
    {
        AppStateHarness harness;
        AppState &state = harness.state();
        harness.configureApiKeyProvider(QStringLiteral("openai"));
        m_server.enqueue("POST", chatPath,
                         Response::eventStream({chatDelta(QStringLiteral("Some")),
                                                chatDelta(QStringLiteral(" more")),
                                                chatDelta(QStringLiteral(" text")), chatDone()},
                                               150));
        const int closedBefore = m_server.clientClosedConnections();
        harness.open();
        harness.type(QStringLiteral("go"));
        state.submit(SubmitAction::showOutput);
        QTRY_COMPARE(state.responseText(), QStringLiteral("Some"));

        QSignalSpy responseChanged(&state, &AppState::responseTextChanged);
        state.handleEscape(UsageSessionEndReason::escapeKey);
        QCOMPARE(state.responseText(), QString());
        QVERIFY(!state.isLoading());
        QCOMPARE(harness.closeRequests(), 1);
        QVERIFY(m_server.waitForClientClosedConnections(closedBefore + 1));
        QCOMPARE(responseChanged.size(), 1);

        QVERIFY(harness.waitForSignal(Signal::usageSessionEnded));
        harness.flushSignals();
        const auto ended = harness.signalsNamed(Signal::usageSessionEnded).first().parameters;
        QCOMPARE(ended.value(Parameter::endReason), QStringLiteral("escape_key"));
        QCOMPARE(ended.value(Parameter::queryCount), QStringLiteral("1"));
        QVERIFY(harness.signalsNamed(Signal::querySucceeded).isEmpty());
        QVERIFY(harness.signalsNamed(Signal::queryFailed).isEmpty());
        QVERIFY(harness.newLog().contains(QStringLiteral("Request canceled.")));
    }

    void failuresShowOneLineMessages()
    {
        AppStateHarness harness;
        AppState &state = harness.state();
        harness.applications().setFrontmostPid(0);
        harness.open();
        harness.type(QStringLiteral("rewrite"));

        state.submit(SubmitAction::showOutput);
        QVERIFY(state.status().kind == SessionStatus::Kind::configureProvider);
        QVERIFY(!state.isLoading());

        harness.configureApiKeyProvider(QStringLiteral("openai"));
        m_server.enqueue(
            "POST", chatPath,
            Response::json(429,
                           QJsonObject{{QStringLiteral("error"),
                                        QJsonObject{{QStringLiteral("message"),
                                                     QStringLiteral("Rate limit reached")}}}}));
        state.submitFromCommandReplaceShortcut();
        QTRY_VERIFY(!state.isLoading());

        QVERIFY(state.status() == SessionStatus::worded(QStringLiteral("Rate limit reached")));
        QCOMPARE(state.responseText(), QString());
        QVERIFY(harness.newLog().contains(
            QStringLiteral("[ERROR] Request failed. (Request failed (429): Rate limit reached)")));
        QVERIFY(harness.waitForSignal(Signal::queryFailed));
        const auto failed = harness.signalsNamed(Signal::queryFailed).first().parameters;
        QCOMPARE(failed.value(Parameter::providerID), QStringLiteral("openai"));
        QCOMPARE(failed.value(Parameter::action), QStringLiteral("replace_selection"));
        QCOMPARE(failed.value(Parameter::errorCategory), QStringLiteral("request_failed"));
        QVERIFY(isWholeMilliseconds(failed.value(Parameter::durationMilliseconds)));
    }

    void copyingPutsTheReplyOnTheClipboard()
    {
        AppStateHarness harness;
        AppState &state = harness.state();
        QSignalSpy copied(&state, &AppState::responseCopied);
        harness.configureApiKeyProvider(QStringLiteral("openai"));
        harness.open();

        state.copyResponseToClipboard();
        QVERIFY(harness.clipboard().writes().isEmpty());

        m_server.enqueue("POST", chatPath, chatStream({QStringLiteral("Copy me")}));
        harness.type(QStringLiteral("hello"));
        state.submit(SubmitAction::showOutput);
        QTRY_VERIFY(!state.isLoading());
        state.copyResponseToClipboard();
        QCOMPARE(harness.clipboard().text(), QStringLiteral("Copy me"));
        QCOMPARE(copied.size(), 1);
        QCOMPARE(harness.closeRequests(), 0);
        QVERIFY(harness.waitForSignal(Signal::responseCopied));

        harness.clipboard().setRefuses(true);
        state.copyResponseToClipboard();
        QCOMPARE(copied.size(), 1);
        QVERIFY(state.status().kind == SessionStatus::Kind::copyFailed);
        harness.flushSignals();
        QCOMPARE(harness.signalsNamed(Signal::responseCopied).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestAppStateRequests)
#include "test_appstate_requests.moc"
