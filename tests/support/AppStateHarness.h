#pragma once

#include "core/analytics/AnalyticsSignal.h"
#include "core/desktop/SelectionContext.h"
#include "core/session/AppState.h"
#include "core/session/InstructionHistory.h"
#include "support/FakeReplacementService.h"
#include "support/FakeRunningApplications.h"
#include "support/FakeSecretStore.h"
#include "support/FakeSelectionService.h"
#include "support/FakeTargetAppClassifier.h"
#include "support/FakeTextClipboard.h"

#include <QList>
#include <QString>
#include <memory>

class AppAnalytics;
class TestHttpServer;

// An AppState over in-memory desktop fakes, a fresh settings file and an
// in-memory keychain (both private to the test sandbox), and real analytics
// whose signals are recorded instead of sent. Log lines go to the real
// FileLogger; newLog() returns what was written since the harness was made.
class AppStateHarness
{
public:
    struct RecordedSignal
    {
        QString name;
        AnalyticsParameters parameters; // keys without the "Wrenlark." prefix
    };

    static constexpr qint32 ownPid = 1000;
    static constexpr qint32 editorPid = 4242;
    static constexpr qint32 browserPid = 5151;

    explicit AppStateHarness(AppStateTimings timings = {}, bool warmsConnectionOnOpen = false);
    ~AppStateHarness();

    AppState &state() { return *m_state; }
    AppAnalytics &analytics() { return *m_analytics; }
    FakeSelectionService &selection() { return *m_selection; }
    FakeReplacementService &replacement() { return *m_replacement; }
    FakeRunningApplications &applications() { return *m_applications; }
    FakeTargetAppClassifier &classifier() { return *m_classifier; }
    FakeTextClipboard &clipboard() { return *m_clipboard; }
    int closeRequests() const { return m_closeRequests; }

    // Makes an API-key provider current with a key and the model "model-1".
    void configureApiKeyProvider(const QString &providerID);
    // Makes the subscription provider current with a stored, unexpired session.
    void configureSubscription();

    // Opens the panel as the panel controller does: reset, usage session,
    // detection. Returns the browser-like flag.
    bool open();
    // Types the text as the input field reports it.
    void type(const QString &text) { m_state->inputChanged(text); }

    // Waits until every signal sent so far has been recorded.
    void flushSignals();
    QList<RecordedSignal> signalsNamed(const QString &name) const;
    bool waitForSignal(const QString &name, int count = 1);

    QString newLog() const;

    static SelectionContext selection(const QString &text,
                                      std::optional<SelectionRange> range = std::nullopt,
                                      qint32 pid = editorPid);

private:
    std::shared_ptr<FakeSecretStore> m_secrets;
    std::shared_ptr<FakeSelectionService> m_selection;
    std::shared_ptr<FakeReplacementService> m_replacement;
    std::shared_ptr<FakeRunningApplications> m_applications;
    std::shared_ptr<FakeTargetAppClassifier> m_classifier;
    std::shared_ptr<FakeTextClipboard> m_clipboard;
    std::unique_ptr<AppAnalytics> m_analytics;
    InstructionHistory m_instructionHistory;
    std::unique_ptr<AppState> m_state;
    QList<RecordedSignal> m_signals;
    int m_closeRequests = 0;
    qsizetype m_logStart = 0;
};

// Writes $XDG_CONFIG_HOME/Wrenlark/model-catalog.json with every provider's
// endpoint at "/<provider id>/v1/chat" on `server` (Gemini's at
// "/google/v1beta/models/{model}:generateContent"). Must run before the first
// use of the catalog.
void writeSessionTestCatalog(const TestHttpServer &server);
