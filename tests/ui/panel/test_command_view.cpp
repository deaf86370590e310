#include "ChatStream.h"
#include "WindowTestSupport.h"
#include "core/session/AppState.h"
#include "support/AppStateHarness.h"
#include "ui/panel/CommandChip.h"
#include "ui/panel/CommandInputField.h"
#include "ui/panel/CommandView.h"
#include "ui/panel/CopyHintButton.h"
#include "ui/panel/LoadingStreakOverlay.h"
#include "ui/panel/PanelModel.h"
#include "ui/panel/ResponseTextView.h"

#include <QApplication>
#include <QBuffer>
#include <QLabel>
#include <QScreen>
#include <QTest>

namespace {

SelectionResult selected(const QString &text)
{
    return SelectionResult::withContext(
        AppStateHarness::selection(text, SelectionRange{0, text.size()}));
}

QStringList manyLines(int count)
{
    QStringList pieces;
    for (int i = 0; i < count; ++i)
        pieces.append(QStringLiteral("Line %1 of a long reply with *some* words.\n").arg(i));
    return pieces;
}

} // namespace

// The bar's content over a real session whose replies come from a local
// server.
class TestCommandView : public QObject
{
    Q_OBJECT

    TestHttpServer m_server;

private Q_SLOTS:
    void initTestCase() { writeSessionTestCatalog(m_server); }

    void placeholderNeverAsksAnythingOfASelection()
    {
        AppStateHarness harness;
        PanelModel model(harness.state());
        CommandView view(model);
        QCOMPARE(CommandView::placeholderCandidates(false).size(), 7);
        QVERIFY(
            !CommandView::placeholderCandidates(true).contains(QStringLiteral("Ask anything...")));

        // The selection is read after the opening chose its placeholder.
        harness.selection().setAutoFinish(false);
        QSet<QString> seen;
        for (int i = 0; i < 60; ++i) {
            harness.selection().enqueueResult(FakeSelectionService::Kind::fetch,
                                              selected(QStringLiteral("word")));
            harness.open();
            harness.state().setOpenToken(QUuid::createUuid());
            QVERIFY(harness.selection().finishCall(int(harness.selection().calls().size()) - 1));
            QTRY_VERIFY(harness.state().hasSelection());
            QVERIFY(view.currentPlaceholder() != QStringLiteral("Ask anything..."));
            QCOMPARE(view.inputField()->placeholder(), view.currentPlaceholder());
            seen.insert(view.currentPlaceholder());
        }
        QVERIFY(seen.size() > 1);
    }

    void shorthandShowsItsChipWhileItRuns()
    {
        AppStateHarness harness;
        AppState &state = harness.state();
        harness.configureApiKeyProvider(QStringLiteral("openai"));
        m_server.enqueue("POST", ChatStream::chatPath, ChatStream::stalled({QStringLiteral("Hi")}));
        PanelModel model(state);
        CommandView view(model);
        view.show();
        harness.open();
        harness.type(QStringLiteral(" ENG "));
        QVERIFY(!view.activeCommandIndicator());
        state.submit(SubmitAction::showOutput);
        const auto indicator = view.activeCommandIndicator();
        QVERIFY(indicator);
        QCOMPARE(indicator->first, QStringLiteral("ENG"));
        QCOMPARE(indicator->second, QStringLiteral("translate to English"));
        // The request reached the server (so its reply is not left for the next test).
        QTRY_COMPARE(state.responseText(), QStringLiteral("Hi"));
        // Typing more than the shorthand drops the chip.
        view.inputField()->setFocus();
        QTest::keyClick(view.inputField(), Qt::Key_X);
        QVERIFY(!view.activeCommandIndicator());

        QVERIFY(CommandChip::commandBadgeWidth(QStringLiteral("ENG")) >= 16);
        QCOMPARE(CommandChip::commandBadgeWidth(QString()), 16);
        harness.state().handleEscape(UsageSessionEndReason::escapeKey);
    }

    void inputKeys()
    {
        AppStateHarness harness;
        AppState &state = harness.state();
        PanelModel model(state);
        CommandView view(model);
        view.show();
        harness.open();
        CommandInputField *input = view.inputField();
        input->setFocus();
        QTest::keyClicks(input, QStringLiteral("one"));
        QTest::keyClick(input, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(input, QStringLiteral("two"));
        QTest::keyClick(input, Qt::Key_Enter, Qt::AltModifier | Qt::KeypadModifier);
        QTest::keyClicks(input, QStringLiteral("three"));
        QCOMPARE(state.inputText(), QStringLiteral("one\ntwo\nthree"));
        QVERIFY(model.inputContentHeight() > 22);
        QVERIFY(input->height() > 22);

        // Return alone submits: without a provider the status line says so.
        QTest::keyClick(input, Qt::Key_Return);
        const QString configure = QStringLiteral("Configure any AI provider in Settings");
        QCOMPARE(model.statusMessage(), configure);
        QCOMPARE(view.statusLabel()->text(), configure);
        QVERIFY(!view.statusLabel()->isHidden());

        // Ctrl+Return is left to the panel.
        QTest::keyClick(input, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(state.inputText(), QStringLiteral("one\ntwo\nthree"));

        QTest::keyClick(input, Qt::Key_Escape);
        QCOMPARE(harness.closeRequests(), 1);
        QVERIFY(input->text().isEmpty());
        QVERIFY(view.statusLabel()->isHidden());
    }

    void inputGrowsToItsLimitThenScrolls()
    {
        AppStateHarness harness;
        PanelModel model(harness.state());
        CommandView view(model);
        view.show();
        harness.open();
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const double limit = CommandView::inputMaxHeight(screen);
        QCOMPARE(limit, std::max(22.0, screen.height() / 2.0 - 80));
        QCOMPARE(CommandView::inputMaxHeight(std::nullopt), 320.0);
        QCOMPARE(CommandView::inputMaxHeight(QRect(0, 0, 100, 100)), 22.0);
        harness.type(QString(QStringLiteral("line\n")).repeated(200));
        QTRY_VERIFY(model.inputContentHeight() > limit);
        QCOMPARE(view.inputField()->height(), int(std::ceil(limit)));
        QVERIFY(view.inputField()->allowsAutomaticCaretScroll());
        harness.type(QString());
        QCOMPARE(model.inputContentHeight(), 22.0);
        QVERIFY(!view.inputField()->allowsAutomaticCaretScroll());
    }

    void streamingReplyStopsMeasuringAtTheLimit()
    {
        AppStateHarness harness({0.02});
        AppState &state = harness.state();
        harness.configureApiKeyProvider(QStringLiteral("openai"));
        m_server.enqueue("POST", ChatStream::chatPath, ChatStream::reply(manyLines(120), 8));
        PanelModel model(state);
        CommandView view(model);
        view.show();
        harness.open();
        harness.type(QStringLiteral("long"));
        state.submit(SubmitAction::showOutput);
        QVERIFY(view.streak()->isAnimating());

        QTRY_VERIFY_WITH_TIMEOUT(view.streamedResponseReachedVisibleLimit(), 10000);
        const double limit = view.visibleResponseLimit();
        QCOMPARE(view.renderedResponseHeight(), limit);
        const int measuredAtLimit = view.measureCount();
        const int renderedAtLimit = view.renderCount();
        QTRY_VERIFY_WITH_TIMEOUT(!state.isLoading(), 10000);
        QVERIFY(view.renderCount() > renderedAtLimit);
        // Once more when loading ends, never while it streamed on.
        QCOMPARE(view.measureCount(), measuredAtLimit + 1);
        QVERIFY(!view.streamedResponseReachedVisibleLimit());
        QVERIFY(view.renderedResponseHeight() > limit);
        QCOMPARE(view.responseView()->height(), int(std::ceil(limit)));
        QVERIFY(!view.streak()->isAnimating());

        // The same text again renders nothing.
        const int renders = view.renderCount();
        Q_EMIT state.responseTextChanged();
        QCOMPARE(view.renderCount(), renders);
        QVERIFY(
            view.responseView()->document()->toPlainText().startsWith(QStringLiteral("Line 0")));
        QCOMPARE(view.responseView()->accessibleName(), QStringLiteral("Response"));
    }

    void copyHintCopiesAndConfirms()
    {
        AppStateHarness harness;
        AppState &state = harness.state();
        harness.configureApiKeyProvider(QStringLiteral("openai"));
        m_server.enqueue("POST", ChatStream::chatPath, ChatStream::reply({QStringLiteral("Done")}));
        PanelModel model(state);
        CommandView view(model);
        view.show();
        harness.open();
        harness.type(QStringLiteral("go"));
        state.submit(SubmitAction::showOutput);
        QTRY_VERIFY(!state.isLoading());
        CopyHintButton *hint = view.copyHint();
        QVERIFY(hint->isVisible());
        QCOMPARE(hint->accessibleName(), QStringLiteral("Copy output"));
        QCOMPARE(hint->label(), QStringLiteral("Ctrl+C"));
        hint->click();
        QCOMPARE(harness.clipboard().text(), QStringLiteral("Done"));
        QCOMPARE(hint->label(), QStringLiteral("Copied!"));
        QTRY_COMPARE_WITH_TIMEOUT(hint->label(), QStringLiteral("Ctrl+C"), 4000);
    }

    // Tab shows the complete reply as its changes to the selection, in
    // colour and in words; Tab again, or a new reply, shows the reply.
    void tabComparesTheReplyWithTheSelection()
    {
        AppStateHarness harness;
        AppState &state = harness.state();
        harness.configureApiKeyProvider(QStringLiteral("openai"));
        harness.selection().enqueueResult(FakeSelectionService::Kind::fetch,
                                          selected(QStringLiteral("Teh cat sat on teh mat.")));
        m_server.enqueue("POST", ChatStream::chatPath,
                         ChatStream::reply({QStringLiteral("The cat sat on the mat.")}));
        PanelModel model(state);
        CommandView view(model);
        view.show();
        harness.open();
        QTRY_VERIFY(state.hasSelection());
        QTest::keyClick(view.inputField(), Qt::Key_Tab); // nothing to compare yet
        QVERIFY(!model.showsDifference());
        harness.type(QStringLiteral("fix"));
        state.submit(SubmitAction::showOutput);
        QTRY_VERIFY(!state.isLoading());

        QTest::keyClick(view.inputField(), Qt::Key_Tab);
        QVERIFY(model.showsDifference());
        QCOMPARE(view.responseView()->accessibleDescription(),
                 QStringLiteral("[deleted: Teh, inserted: The] cat sat on [deleted: teh, "
                                "inserted: the] mat."));
        QCOMPARE(view.responseView()->document()->toPlainText(),
                 QStringLiteral("TehThe cat sat on tehthe mat."));
        WindowTestSupport::saveScreenshot(&view, QStringLiteral("bar-compare"));

        QTest::keyClick(view.inputField(), Qt::Key_Tab);
        QVERIFY(!model.showsDifference());
        QCOMPARE(view.responseView()->document()->toPlainText(),
                 QStringLiteral("The cat sat on the mat."));
        QVERIFY(view.responseView()->accessibleDescription().isEmpty());
    }

    void headerShowsTheSelectionOrTheImage()
    {
        QCOMPARE(CommandView::thumbnailSize(QSize(400, 200)), QSize(40, 20));
        QCOMPARE(CommandView::thumbnailSize(QSize(30, 10)), QSize(30, 10));
        QCOMPARE(CommandView::thumbnailSize(QSize(300, 1)), QSize(300, 1));
        QCOMPARE(CommandView::thumbnailSize(QSize()), QSize());

        AppStateHarness harness;
        harness.selection().enqueueResult(FakeSelectionService::Kind::fetch,
                                          selected(QStringLiteral("hello\nworld")));
        PanelModel model(harness.state());
        CommandView view(model);
        view.show();
        harness.open();
        QTRY_VERIFY(harness.state().hasSelection());
        const auto labels = view.findChildren<QLabel *>();
        const bool previewShown = std::any_of(labels.cbegin(), labels.cend(), [](QLabel *label) {
            return label->isVisible() && label->text() == QStringLiteral("hello\u2026");
        });
        QVERIFY(previewShown);

        QImage image(200, 50, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        harness.state().setCapturedImageData(png);
        const auto thumbnail = std::find_if(labels.cbegin(), labels.cend(), [](QLabel *label) {
            return label->accessibleName() == QStringLiteral("Captured image");
        });
        QVERIFY(thumbnail != labels.cend());
        QTRY_VERIFY((*thumbnail)->isVisible());
        QCOMPARE((*thumbnail)->size(), QSize(80, 20));
        // Garbage bytes show no thumbnail and do not break the header.
        harness.state().setCapturedImageData(QByteArray("not an image"));
        QVERIFY(!(*thumbnail)->isVisible());
    }

    void streakCrossesTheBar()
    {
        QCOMPARE(LoadingStreakOverlay::streakWidth(640), 256.0);
        QCOMPARE(LoadingStreakOverlay::streakWidth(100), 120.0);
        QCOMPARE(LoadingStreakOverlay::streakWidth(0), 120.0);
        QCOMPARE(LoadingStreakOverlay::streakLeft(640, -1), -256.0);
        QCOMPARE(LoadingStreakOverlay::streakLeft(640, 1), 640.0);

        // Nothing animates while hidden, even while loading.
        LoadingStreakOverlay overlay;
        overlay.setLoading(true);
        QVERIFY(!overlay.isAnimating());
        overlay.show();
        QVERIFY(overlay.isAnimating());
        overlay.hide();
        QVERIFY(!overlay.isAnimating());
    }
};

QTEST_MAIN(TestCommandView)
#include "test_command_view.moc"
