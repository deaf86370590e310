#include "ChatStream.h"
#include "core/session/AppState.h"
#include "support/AppStateHarness.h"
#include "support/FakePanelWindowSupport.h"
#include "ui/panel/CommandInputField.h"
#include "ui/panel/CommandPanel.h"
#include "ui/panel/CommandPanelController.h"
#include "ui/panel/CommandView.h"
#include "ui/panel/CopyHintButton.h"
#include "ui/panel/ResponseTextView.h"

#include <QApplication>
#include <QClipboard>
#include <QScreen>
#include <QTest>
#include <QWindow>

namespace {

SelectionResult selected(const QString &text)
{
    return SelectionResult::withContext(
        AppStateHarness::selection(text, SelectionRange{0, text.size()}));
}

// A controller over the harness's session and a recording desktop.
struct Bar
{
    AppStateHarness harness;
    std::shared_ptr<FakePanelWindowSupport> desktop = std::make_shared<FakePanelWindowSupport>();
    std::unique_ptr<CommandPanelController> controller;
    int closes = 0;

    Bar()
    {
        DesktopServices services;
        services.panelWindow = desktop;
        controller = std::make_unique<CommandPanelController>(harness.state(), services,
                                                              harness.analytics());
        harness.state().setRequestClose([this] {
            ++closes;
            controller->hide();
        });
        harness.applications().setFrontmostPid(AppStateHarness::editorPid);
    }
    AppState &state() { return harness.state(); }
    CommandPanel *panel() { return controller->panel(); }
    CommandInputField *input() { return controller->view()->inputField(); }
    bool showActive(const PanelActivation &activation = {})
    {
        controller->show(activation);
        // The offscreen platform keeps a hidden window as the focus window, so
        // a second opening is not reported as an activation there.
        return QTest::qWaitFor([&] {
            return QGuiApplication::focusWindow() == panel()->windowHandle() &&
                   panel()->focusWidget() == input();
        });
    }
};

} // namespace

class TestCommandPanel : public QObject
{
    Q_OBJECT

    TestHttpServer m_server;

    void streamReply(Bar &bar, const QStringList &pieces)
    {
        bar.harness.configureApiKeyProvider(QStringLiteral("openai"));
        m_server.enqueue("POST", ChatStream::chatPath, ChatStream::reply(pieces, 5));
        bar.harness.type(QStringLiteral("go"));
        bar.state().submit(SubmitAction::showOutput);
        QTRY_VERIFY_WITH_TIMEOUT(!bar.state().isLoading(), 10000);
    }

private Q_SLOTS:
    void initTestCase() { writeSessionTestCatalog(m_server); }

    void placementRules()
    {
        using C = CommandPanelController;
        QCOMPARE(C::positionedOrigin(QRect(0, 0, 1280, 800), QSize(640, 88)), QPoint(320, 200));
        QCOMPARE(C::positionedOrigin(QRect(1280, 24, 1920, 1056), QSize(640, 88)),
                 QPoint(1920, 288));
        QCOMPARE(C::targetHeight(40, QRect(0, 0, 1280, 800)), 88);
        QCOMPARE(C::targetHeight(300, QRect(0, 0, 1280, 800)), 300);
        QCOMPARE(C::targetHeight(1000, QRect(0, 0, 1280, 800)), 400);
        QCOMPARE(C::targetHeight(1000, std::nullopt), 400);
        QCOMPARE(C::targetHeight(10, std::nullopt), 88);
        QCOMPARE(C::resizedHeight(100, 107), std::nullopt);
        QCOMPARE(C::resizedHeight(100, 93), std::nullopt);
        QCOMPARE(C::resizedHeight(100, 108), std::optional(108));
        QCOMPARE(C::resizedHeight(100, 92), std::optional(92));
    }

    void opensAtOnceFocusedAndPlaced()
    {
        Bar bar;
        QVERIFY(!bar.desktop->prepared.isEmpty());
        QCOMPARE(bar.panel()->windowTitle(), QStringLiteral("Wrenlark"));
        QVERIFY(bar.panel()->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(bar.showActive({4242, {}, {}}));
        QVERIFY(bar.controller->isPanelVisible());
        QVERIFY(!bar.controller->hasPendingShow());
        QCOMPARE(bar.desktop->activations.constLast().timestamp, 4242u);
        QCOMPARE(bar.desktop->activations.constLast().window, bar.panel()->winId());
        const QRect screen = bar.panel()->screen()->availableGeometry();
        const QRect frame = bar.panel()->barGeometry();
        QCOMPARE(frame.width(), 640);
        QCOMPARE(frame.height(), 88);
        QCOMPARE(frame.topLeft(), CommandPanelController::positionedOrigin(screen, frame.size()));

        // A startup id carries the time when the shortcut's own is unknown.
        bar.controller->hide();
        QVERIFY(bar.showActive({0, "wrenlark-toggle-1_TIME777", {}}));
        QCOMPARE(bar.desktop->activations.constLast().timestamp, 777u);
    }

    void browserLikeTargetsShowAfterTheLead()
    {
        Bar bar;
        bar.harness.applications().setFrontmostPid(AppStateHarness::browserPid);
        bar.harness.classifier().setBrowserLike(AppStateHarness::browserPid);
        bar.controller->show();
        QVERIFY(bar.controller->hasPendingShow());
        QVERIFY(!bar.controller->isPanelVisible());
        // The second press of a toggle closes the pending opening.
        bar.state().handleEscape(UsageSessionEndReason::toggleShortcut);
        QVERIFY(!bar.controller->hasPendingShow());
        QTest::qWait(CommandPanelController::clipboardPrefetchLeadTimeMs + 100);
        QVERIFY(!bar.controller->isPanelVisible());

        bar.controller->show();
        QTRY_VERIFY(bar.controller->isPanelVisible());
        QVERIFY(!bar.controller->hasPendingShow());
    }

    void growsDownwardsWithinHalfTheScreen()
    {
        Bar bar;
        QVERIFY(bar.showActive());
        const QRect before = bar.panel()->barGeometry();
        QStringList lines;
        for (int i = 0; i < 200; ++i)
            lines.append(QStringLiteral("line %1\n").arg(i));
        streamReply(bar, lines);
        const int half = bar.panel()->screen()->availableGeometry().height() / 2;
        QTRY_COMPARE(bar.panel()->barGeometry().height(), half);
        QCOMPARE(bar.panel()->barGeometry().top(), before.top());
        QCOMPARE(bar.panel()->barGeometry().width(), 640);
        // The whole reply area, copy hint included, stays inside the bar.
        CommandView *view = bar.controller->view();
        QTRY_VERIFY(view->rect().contains(
            QRect(view->copyHint()->mapTo(view, QPoint()), view->copyHint()->size())));
        const QWidget *response = view->responseView();
        QVERIFY(view->rect().contains(QRect(response->mapTo(view, QPoint()), response->size())));
    }

    void copyKeyCopiesTheReplyUnlessTextIsSelected()
    {
        Bar bar;
        QVERIFY(bar.showActive());
        // Nothing to copy: the key goes on to the input.
        QTest::keyClick(bar.input(), Qt::Key_C, Qt::ControlModifier);
        QVERIFY(bar.harness.clipboard().writes().isEmpty());

        streamReply(bar, {QStringLiteral("The reply")});
        QTest::keyClick(bar.input(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(bar.harness.clipboard().writes(), QStringList{QStringLiteral("The reply")});

        bar.input()->selectAll();
        QTest::keyClick(bar.input(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(bar.harness.clipboard().writes().size(), 1);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("go"));
    }

    void replaceKeyWorksFromTheInputOnly()
    {
        Bar bar;
        bar.harness.selection().enqueueResult(FakeSelectionService::Kind::fetch,
                                              selected(QStringLiteral("word")));
        QVERIFY(bar.showActive());
        QTRY_VERIFY(bar.state().hasSelection());
        streamReply(bar, {QStringLiteral("better")});

        bar.controller->view()->copyHint()->setFocus();
        QTest::keyClick(bar.controller->view()->copyHint(), Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(bar.harness.replacement().calls().isEmpty());

        bar.input()->setFocus();
        QTest::keyClick(bar.input(), Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
        QTRY_COMPARE(bar.harness.replacement().calls().size(), 1);
        QTRY_VERIFY(!bar.controller->isPanelVisible());
    }

    void clicksOutsideClose()
    {
        Bar bar;
        QVERIFY(bar.showActive());
        // Inside: stays.
        QTest::mouseClick(bar.panel()->windowHandle(), Qt::LeftButton, {},
                          bar.controller->view()->mapTo(bar.panel(), QPoint(300, 40)));
        QVERIFY(bar.controller->isPanelVisible());
        QCOMPARE(bar.closes, 0);

        // A press in another window of ours, outside the bar's frame (losing
        // activation is tested on the desktop: the offscreen platform does not
        // move activation as a window manager does).
        QWidget other;
        other.setGeometry(10, 10, 100, 100);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        QVERIFY(bar.showActive());
        const int closesBefore = bar.closes;
        QTest::mousePress(other.windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!bar.controller->isPanelVisible());
        QCOMPARE(bar.closes, closesBefore + 1);
        QTest::mouseRelease(other.windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    }

    void escapeWhileStreamingLeavesACleanOpening()
    {
        Bar bar;
        QVERIFY(bar.showActive());
        bar.harness.configureApiKeyProvider(QStringLiteral("openai"));
        m_server.enqueue("POST", ChatStream::chatPath,
                         ChatStream::stalled({QStringLiteral("partial")}));
        bar.harness.type(QStringLiteral("go"));
        bar.state().submit(SubmitAction::showOutput);
        QTRY_COMPARE(bar.state().responseText(), QStringLiteral("partial"));
        QTest::keyClick(bar.input(), Qt::Key_Escape);
        QVERIFY(!bar.controller->isPanelVisible());
        QVERIFY(!bar.state().isLoading());

        QVERIFY(bar.showActive());
        QVERIFY(bar.state().responseText().isEmpty());
        QVERIFY(bar.input()->text().isEmpty());
        QVERIFY(bar.controller->view()->responseView()->document()->isEmpty());
        QCOMPARE(bar.panel()->barGeometry().height(), CommandPanelController::panelMinHeight);
    }
};

QTEST_MAIN(TestCommandPanel)
#include "test_command_panel.moc"
