#include "support/AppStateHarness.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using Kind = FakeSelectionService::Kind;

namespace {

SelectionResult withText(const QString &text)
{
    return SelectionResult::withContext(AppStateHarness::selection(text));
}

QString detectLine(const QString &traceID)
{
    return QStringLiteral("Selection detect [") + traceID + QStringLiteral("] ");
}

} // namespace

// Opening, selection detection and closing, over the desktop fakes.
class TestAppStateSelection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void onlyTheNewestDetectionIsApplied_data()
    {
        QTest::addColumn<bool>("firstFinishedBeforeReopen");
        QTest::newRow("first still reading") << false;
        QTest::newRow("first answered, not yet delivered") << true;
    }

    void onlyTheNewestDetectionIsApplied()
    {
        QFETCH(bool, firstFinishedBeforeReopen);
        AppStateHarness harness;
        FakeSelectionService &selection = harness.selection();
        selection.setAutoFinish(false);

        QVERIFY(!harness.open());
        if (firstFinishedBeforeReopen)
            QVERIFY(selection.finishCall(0, withText(QStringLiteral("stale"))));
        QVERIFY(!harness.open());
        QVERIFY(!selection.finishCall(0, withText(QStringLiteral("stale"))));
        QVERIFY(selection.finishCall(1, withText(QStringLiteral("fresh"))));
        QTRY_VERIFY(!harness.state().isDetectingSelection());

        QVERIFY(harness.state().hasSelection());
        QCOMPARE(harness.state().selectionContext()->selectedText, QStringLiteral("fresh"));
        const SelectionRequest &first = selection.calls()[0].request;
        const SelectionRequest &second = selection.calls()[1].request;
        QVERIFY(
            QRegularExpression(QStringLiteral("^[0-9A-F]{8}$")).match(second.traceID).hasMatch());
        QCOMPARE(second.targetPid, std::optional<qint32>(AppStateHarness::editorPid));
        QCOMPARE(second.restorePid, std::optional<qint32>(AppStateHarness::ownPid));
        QVERIFY(!second.allowClipboardFallback);
        const QString log = harness.newLog();
        QVERIFY(!log.contains(detectLine(first.traceID)));
        QVERIFY2(log.contains(detectLine(second.traceID) +
                              QStringLiteral("first-pass hasSelection=true textLen=5 "
                                             "needsPermission=false elapsed=")),
                 qPrintable(log));
    }

    // What the desktop says stopped the read reaches the status line; a
    // plain "nothing selected" says nothing.
    void ordinaryDetectionShowsWhyNothingCouldBeRead_data()
    {
        QTest::addColumn<SelectionResult>("result");
        QTest::addColumn<SessionStatus>("status");
        const QString keys = QStringLiteral("Wrenlark cannot type keys here yet.");
        QTest::newRow("no keys") << SelectionResult::unreadable(keys)
                                 << SessionStatus::worded(keys);
        QTest::newRow("nothing selected") << SelectionResult::unreadable({}) << SessionStatus{};
        QTest::newRow("permission first") << SelectionResult{std::nullopt, true, keys}
                                          << SessionStatus{SessionStatus::Kind::permission, {}};
    }

    void ordinaryDetectionShowsWhyNothingCouldBeRead()
    {
        QFETCH(SelectionResult, result);
        QFETCH(SessionStatus, status);
        AppStateHarness harness;
        harness.selection().setDefaultResult(Kind::fetch, result);
        harness.open();
        QTRY_VERIFY(harness.newLog().contains(QStringLiteral("hasSelection=false")));
        QVERIFY(harness.state().status() == status);
        QVERIFY(!harness.state().hasSelection());
    }

    void ordinaryDetectionShowsTheMissingPermission()
    {
        AppStateHarness harness;
        harness.selection().setDefaultResult(Kind::fetch, SelectionResult::permissionMissing());
        QSignalSpy focusRequests(&harness.state(), &AppState::inputFocusRequested);

        QVERIFY(!harness.open());
        QTRY_VERIFY(harness.state().status().kind == SessionStatus::Kind::permission);
        QVERIFY(!harness.state().hasSelection());
        QVERIFY(harness.newLog().contains(
            QStringLiteral("first-pass hasSelection=false textLen=0 needsPermission=true")));
        QCOMPARE(focusRequests.size(), 0);
    }

    void browserLikeTargetRacesTwoReaders_data()
    {
        QTest::addColumn<bool>("clipboardFirst");
        QTest::addColumn<SelectionResult>("firstResult");
        QTest::addColumn<SelectionResult>("secondResult");
        QTest::addColumn<bool>("secondDelivers");
        QTest::addColumn<QString>("expectedLog");
        QTest::addColumn<SessionStatus>("expectedStatus");

        const SelectionResult empty = SelectionResult::empty();
        QTest::newRow("clipboard first with text")
            << true << withText(QStringLiteral("copied")) << withText(QStringLiteral("late"))
            << false << "browser source=clipboard hasSelection=true textLen=6" << SessionStatus{};
        QTest::newRow("accessibility first with text")
            << false << withText(QStringLiteral("read")) << withText(QStringLiteral("late"))
            << false << "browser source=ax hasSelection=true textLen=4" << SessionStatus{};
        QTest::newRow("accessibility empty, clipboard with text")
            << false << empty << withText(QStringLiteral("copied")) << true
            << "browser source=clipboard hasSelection=true textLen=6" << SessionStatus{};
        QTest::newRow("neither; the first lacks permission")
            << false << SelectionResult::permissionMissing() << empty << true
            << "browser source=ax hasSelection=false textLen=0 needsPermission=true"
            << SessionStatus{SessionStatus::Kind::permission, {}};
    }

    void browserLikeTargetRacesTwoReaders()
    {
        QFETCH(bool, clipboardFirst);
        QFETCH(SelectionResult, firstResult);
        QFETCH(SelectionResult, secondResult);
        QFETCH(bool, secondDelivers);
        QFETCH(QString, expectedLog);
        QFETCH(SessionStatus, expectedStatus);

        AppStateHarness harness;
        FakeSelectionService &selection = harness.selection();
        selection.setAutoFinish(false);
        harness.applications().setFrontmostPid(AppStateHarness::browserPid);
        QSignalSpy focusRequests(&harness.state(), &AppState::inputFocusRequested);

        QVERIFY(harness.open());
        QVERIFY(harness.state().selectionUsesClipboardFallback());
        QCOMPARE(selection.calls().size(), 2);
        QCOMPARE(selection.calls()[0].kind, Kind::fetch);
        QCOMPARE(selection.calls()[1].kind, Kind::clipboardOnly);
        for (const auto &call : selection.calls()) {
            QCOMPARE(call.request.targetPid, std::optional<qint32>(AppStateHarness::browserPid));
            QVERIFY(!call.request.allowClipboardFallback);
            QCOMPARE(call.request.traceID, selection.calls()[0].request.traceID);
        }

        const int first = clipboardFirst ? 1 : 0;
        QVERIFY(selection.finishCall(first, firstResult));
        QCoreApplication::processEvents();
        QCOMPARE(selection.finishCall(1 - first, secondResult), secondDelivers);
        QTRY_VERIFY(!harness.state().isDetectingSelection());

        QCOMPARE(selection.cancelledCount(), secondDelivers ? 0 : 1);
        const QString traceID = selection.calls()[0].request.traceID;
        QVERIFY2(harness.newLog().contains(detectLine(traceID) + expectedLog),
                 qPrintable(harness.newLog()));
        QCOMPARE(harness.newLog().count(detectLine(traceID)), 1);
        QVERIFY(harness.state().status() == expectedStatus);
        // The probe borrowed the focus; the input field asks for it back.
        QVERIFY(!focusRequests.isEmpty());
    }

    void contextsAreNormalisedAndPreviewed_data()
    {
        QTest::addColumn<SelectionContext>("context");
        QTest::addColumn<bool>("hasSelection");
        QTest::addColumn<std::optional<QString>>("preview");

        QTest::newRow("blank text without a range")
            << AppStateHarness::selection(QStringLiteral(" \n\t ")) << false
            << std::optional<QString>();
        QTest::newRow("caret in a text field")
            << AppStateHarness::selection(QString(), SelectionRange{3, 0}) << true
            << std::optional<QString>(AppState::nothingSelectedPreview);
        QTest::newRow("two lines")
            << AppStateHarness::selection(QStringLiteral("  First line \r\nsecond\n")) << true
            << std::optional<QString>(QStringLiteral("First line…"));
        QTest::newRow("one line with a range")
            << AppStateHarness::selection(QStringLiteral(" word "), SelectionRange{0, 6}) << true
            << std::optional<QString>(QStringLiteral("word"));
    }

    void contextsAreNormalisedAndPreviewed()
    {
        QFETCH(SelectionContext, context);
        QFETCH(bool, hasSelection);
        QFETCH(std::optional<QString>, preview);

        AppStateHarness harness;
        harness.selection().setDefaultResult(Kind::fetch, SelectionResult::withContext(context));
        QSignalSpy previewChanged(&harness.state(), &AppState::selectedTextPreviewChanged);
        harness.open();
        QTRY_VERIFY(!harness.state().isDetectingSelection());

        QCOMPARE(harness.state().hasSelection(), hasSelection);
        QCOMPARE(harness.state().selectedTextPreview(), preview);
        QCOMPARE(previewChanged.size(), preview ? 1 : 0);
    }

    void closingClearsTheSessionAndCancelsDetection()
    {
        AppStateHarness harness;
        harness.selection().enqueueResult(Kind::fetch, withText(QStringLiteral("kept")));
        harness.open();
        QTRY_VERIFY(harness.state().hasSelection());
        harness.type(QStringLiteral("shorter"));
        harness.state().setCapturedImageData(QByteArray("png"));

        harness.selection().setAutoFinish(false);
        harness.state().startSelectionDetection(); // a detection is running at close
        harness.state().handleEscape(UsageSessionEndReason::escapeKey);

        QCOMPARE(harness.selection().cancelledCount(), 1);
        QVERIFY(!harness.selection().finishCall(1, withText(QStringLiteral("late"))));
        QCoreApplication::processEvents();
        QCOMPARE(harness.state().inputText(), QString());
        QVERIFY(!harness.state().hasSelection());
        QVERIFY(!harness.state().selectedTextPreview());
        QVERIFY(!harness.state().hasCapturedImage());
        QCOMPARE(harness.closeRequests(), 1);
        // The revision count lasts until the next open.
        QCOMPARE(harness.state().inputRevision(), 1);
        QVERIFY(harness.waitForSignal(AnalyticsSignal::usageSessionEnded));
        const auto ended = harness.signalsNamed(AnalyticsSignal::usageSessionEnded).first();
        QCOMPARE(ended.parameters.value(AnalyticsParameter::endReason),
                 QStringLiteral("escape_key"));
        QCOMPARE(ended.parameters.value(AnalyticsParameter::queryCount), QStringLiteral("0"));
    }
};

QTEST_GUILESS_MAIN(TestAppStateSelection)
#include "test_appstate_selection.moc"
