// The handles of running selection reads and replacements: each ends
// exactly once, always from the event loop, and cancelling is not a failure.
#include "core/desktop/ReplacementOperation.h"
#include "core/desktop/SelectionFetch.h"
#include "support/FakeSelectionService.h"

#include <QSignalSpy>
#include <QTest>

class SelectionHandlesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fetchEndsOnceFromTheEventLoopWithItsIdentity();
    void cancelledFetchEndsEmptyAndTellsTheWorker();
    void deletingARunningFetchStopsTheWorker();
    void replacementCancelledBeforeDispatchIsNotAFailure();
    void fakeServiceHoldsFetchesUntilTold();
};

void SelectionHandlesTest::fetchEndsOnceFromTheEventLoopWithItsIdentity()
{
    const QUuid id = QUuid::createUuid();
    SelectionFetch fetch(id);
    QSignalSpy finished(&fetch, &SelectionFetch::finished);
    SelectionContext context;
    context.selectedText = QStringLiteral("text");
    context.pid = 42;
    fetch.finishWithResult(SelectionResult::withContext(context));
    fetch.finishWithResult(SelectionResult::permissionMissing());
    fetch.cancel();
    QCOMPARE(finished.count(), 0); // not from inside the call
    QVERIFY(finished.wait(1000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(fetch.requestID(), id);
    QCOMPARE(fetch.state(), SelectionFetch::State::succeeded);
    QCOMPARE(fetch.result().context->selectedText, QStringLiteral("text"));
    QVERIFY(!fetch.result().needsPermission);
}

void SelectionHandlesTest::cancelledFetchEndsEmptyAndTellsTheWorker()
{
    SelectionFetch fetch(QUuid::createUuid());
    const CancellationFlag worker = fetch.cancellationFlag();
    int handlerCalls = 0;
    fetch.setCancelHandler([&] { ++handlerCalls; });
    QSignalSpy finished(&fetch, &SelectionFetch::finished);
    fetch.cancel();
    fetch.cancel();
    QVERIFY(worker.isCancelled());
    QCOMPARE(handlerCalls, 1);
    // A result that arrives afterwards changes nothing.
    SelectionContext late;
    late.selectedText = QStringLiteral("late");
    fetch.finishWithResult(SelectionResult::withContext(late));
    QVERIFY(finished.wait(1000));
    QCOMPARE(finished.count(), 1);
    QVERIFY(fetch.wasCancelled());
    QVERIFY(!fetch.result().context);
    QVERIFY(!fetch.result().needsPermission);
}

void SelectionHandlesTest::deletingARunningFetchStopsTheWorker()
{
    auto *fetch = new SelectionFetch(QUuid::createUuid());
    const CancellationFlag worker = fetch->cancellationFlag();
    delete fetch;
    QVERIFY(worker.isCancelled());
}

void SelectionHandlesTest::replacementCancelledBeforeDispatchIsNotAFailure()
{
    ReplacementOperation operation;
    bool stopped = false;
    operation.setCancelHandler([&] { stopped = true; });
    QSignalSpy finished(&operation, &ReplacementOperation::finished);
    operation.cancel();
    operation.finish(true);
    QVERIFY(finished.wait(1000));
    QCOMPARE(finished.count(), 1);
    QVERIFY(!operation.wasDispatched());
    QCOMPARE(operation.state(), ReplacementOperation::State::cancelled);
    QVERIFY(stopped);
}

void SelectionHandlesTest::fakeServiceHoldsFetchesUntilTold()
{
    FakeSelectionService service;
    service.setAutoFinish(false);
    SelectionContext context;
    context.selectedText = QStringLiteral("held");
    service.enqueueResult(FakeSelectionService::Kind::fetch, SelectionResult::withContext(context));
    SelectionRequest request;
    request.targetPid = 7;
    std::unique_ptr<SelectionFetch> first(service.fetchSelection(request, nullptr));
    std::unique_ptr<SelectionFetch> second(service.fetchSelection(request, nullptr));
    QCOMPARE(service.calls().size(), 2);
    QCOMPARE(*service.calls().first().request.targetPid, 7);
    second->cancel();
    QCOMPARE(service.cancelledCount(), 1);
    QVERIFY(!service.finishCall(1));
    QVERIFY(service.finishCall(0));
    QSignalSpy finished(first.get(), &SelectionFetch::finished);
    QVERIFY(finished.wait(1000));
    QCOMPARE(first->result().context->selectedText, QStringLiteral("held"));
}

QTEST_GUILESS_MAIN(SelectionHandlesTest)
#include "test_selection_handles.moc"
