// The command bar over real editors on the private desktop, with the real X11
// window support: it takes focus from the editor, closes on Escape and on a
// click outside, streams a reply that a screen reader can read, copies it
// and writes it over the editor's selection without touching the clipboard.
#include "DesktopSelectionFixture.h"
#include "PanelRoad.h"
#include "platform/linux/LinuxDesktopServices.h"
#include "platform/linux/clipboard/ClipboardLock.h"
#include "support/TestHttpServer.h"
#include "ui/panel/CommandInputField.h"
#include "ui/panel/CommandPanel.h"
#include "ui/panel/CommandView.h"

#include <QApplication>
#include <QBuffer>
#include <QJsonArray>
#include <QJsonObject>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <cmath>

using namespace DesktopTestSession;

namespace {

const QByteArray chatPath = "/openai/v1/chat";

QByteArray delta(const QString &text)
{
    return TestHttpServer::sseData(
        QJsonObject{{QStringLiteral("choices"),
                     QJsonArray{QJsonObject{{QStringLiteral("delta"),
                                             QJsonObject{{QStringLiteral("content"), text}}}}}}});
}

TestHttpServer::Response reply(const QStringList &pieces, int delayMs = 30)
{
    QList<QByteArray> events;
    for (const QString &piece : pieces)
        events.append(delta(piece));
    events.append(TestHttpServer::sseData(QByteArrayLiteral("[DONE]")));
    return TestHttpServer::Response::eventStream(events, delayMs);
}

const QString markdownReply = QStringLiteral(
    "## Summary\nThe word **world** is a *noun*.\n\n### Example\n```python\nprint(\"hello "
    "world\")\n```\nUse `print` to show it.");

bool key(const QString &keys)
{
    return xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys});
}

} // namespace

class PanelOnDesktopTest : public QObject
{
    Q_OBJECT

    TestHttpServer m_server;
    std::unique_ptr<PanelRoad> m_road;
    std::unique_ptr<TestEditor> m_editor;

    bool showOverEditor()
    {
        if (!m_editor->app().activate())
            return false;
        m_road->controller().show();
        return QTest::qWaitFor(
            [&] {
                return PanelRoad::activeWindow() == m_road->panelWindow() &&
                       QApplication::focusWidget() == m_road->controller().view()->inputField();
            },
            5000);
    }

    // Types into whatever has keyboard focus, as the user would.
    static bool typeText(const QString &text)
    {
        return xdotool(
            {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("12"), text});
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (const auto reason = unavailableReason())
            QSKIP(qPrintable(*reason));
        PanelRoad::configureProvider(m_server);
        m_road = std::make_unique<PanelRoad>();
    }

    void init()
    {
        QString error;
        m_editor =
            TestEditor::start(TestEditor::Kind::gtk, QStringLiteral("hello world foo"), &error);
        QVERIFY2(m_editor, qPrintable(error));
        // Behind the whole bar, as an editor a user works in.
        QVERIFY(xdotool({QStringLiteral("windowmove"), m_editor->app().window(),
                         QStringLiteral("0"), QStringLiteral("0")}));
        QVERIFY(xdotool({QStringLiteral("windowsize"), m_editor->app().window(),
                         QStringLiteral("1280"), QStringLiteral("760")}));
        settle(200);
        // "world" selected.
        QVERIFY(m_editor->type({QStringLiteral("ctrl+Home"), QStringLiteral("ctrl+Right"),
                                QStringLiteral("Right"), QStringLiteral("shift+ctrl+Right")}));
    }

    void cleanup()
    {
        if (m_road && m_road->controller().isPanelVisible())
            m_road->state().handleEscape(UsageSessionEndReason::escapeKey);
        m_editor.reset();
    }

    void takesFocusAndClosesOnEscape()
    {
        QVERIFY(showOverEditor());
        m_road->saveScreenshot(QStringLiteral("empty"));
        // Keys typed at once reach the bar, never the editor.
        QVERIFY(typeText(QStringLiteral("shout")));
        QTRY_COMPARE(m_road->state().inputText(), QStringLiteral("shout"));
        QTRY_VERIFY(m_road->state().hasSelection());
        settle(100);
        m_road->saveScreenshot(QStringLiteral("selection"));
        QCOMPARE(m_road->state().selectedTextPreview(), std::optional(QStringLiteral("world")));
        const QString instruction = PanelRoad::readAccessible(QStringLiteral("Instruction"));
        QVERIFY2(instruction.endsWith(QStringLiteral("shout")), qPrintable(instruction));

        QVERIFY(key(QStringLiteral("Escape")));
        QTRY_VERIFY(!m_road->controller().isPanelVisible());
        QTRY_COMPARE(lastEndReason(*m_road), QStringLiteral("escape_key"));
        QCOMPARE(m_editor->documentText(), QStringLiteral("hello world foo"));
    }

    void clickOnTheEditorCloses()
    {
        QVERIFY(showOverEditor());
        // A click inside keeps it.
        const QRect bar = m_road->controller().panel()->barGeometry();
        QVERIFY(xdotool({QStringLiteral("mousemove"), QString::number(bar.center().x()),
                         QString::number(bar.top() + 30), QStringLiteral("click"),
                         QStringLiteral("1")}));
        settle(300);
        QVERIFY(m_road->controller().isPanelVisible());
        // In the editor, beside the bar.
        QVERIFY(xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"),
                         m_editor->app().window(), QStringLiteral("100"), QStringLiteral("400"),
                         QStringLiteral("click"), QStringLiteral("1")}));
        // The test desktop's openbox has no click-to-focus binding; focus the
        // clicked editor as a window manager does.
        QVERIFY(m_editor->app().activate());
        QTRY_VERIFY(!m_road->controller().isPanelVisible());
        QTRY_COMPARE(lastEndReason(*m_road), QStringLiteral("outside_click"));
    }

    void clipboardOperationMayMoveActivation()
    {
        QVERIFY(showOverEditor());
        // A probe or paste activates the target on purpose.
        ClipboardLock::acquire([] {});
        QVERIFY(m_editor->app().activate());
        settle(300);
        QVERIFY(m_road->controller().isPanelVisible());
        ClipboardLock::release();
    }

    void replyStreamsAndReplacesTheSelection()
    {
        PanelRoad::setClipboardText(QStringLiteral("the user's clipboard"));
        QStringList pieces;
        for (const QString &piece :
             {QStringLiteral("WO"), QStringLiteral("R"), QStringLiteral("LD")})
            pieces.append(piece);
        m_server.enqueue("POST", chatPath, reply(pieces, 400));
        QVERIFY(showOverEditor());
        QTRY_VERIFY(m_road->state().hasSelection());
        QVERIFY(typeText(QStringLiteral("upper case")));
        QTRY_COMPARE(m_road->state().inputText(), QStringLiteral("upper case"));
        QVERIFY(key(QStringLiteral("Return")));
        settle(500);
        QTRY_VERIFY(m_road->state().isLoading());
        QTRY_VERIFY(!m_road->state().responseText().isEmpty());
        m_road->saveScreenshot(QStringLiteral("streaming"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_road->state().isLoading(), 10000);
        const QString response = PanelRoad::readAccessible(QStringLiteral("Response"));
        QVERIFY2(response.endsWith(QStringLiteral("\nWORLD")), qPrintable(response));

        // Ctrl+C copies the reply.
        QVERIFY(key(QStringLiteral("ctrl+c")));
        QTRY_COMPARE(PanelRoad::clipboardText(), QStringLiteral("WORLD"));
        PanelRoad::setClipboardText(QStringLiteral("the user's clipboard"));

        QVERIFY(key(QStringLiteral("ctrl+Return")));
        QTRY_VERIFY_WITH_TIMEOUT(!m_road->controller().isPanelVisible(), 10000);
        QTRY_COMPARE(lastEndReason(*m_road), QStringLiteral("replaced_selection"));
        QTRY_COMPARE(m_editor->documentText(), QStringLiteral("hello WORLD foo"));
        QTRY_COMPARE(PanelRoad::clipboardText(), QStringLiteral("the user's clipboard"));
    }

    void copyKeyWithoutAReplyCopiesNothing()
    {
        PanelRoad::setClipboardText(QStringLiteral("kept"));
        QVERIFY(showOverEditor());
        QVERIFY(key(QStringLiteral("ctrl+c")));
        settle(300);
        QCOMPARE(PanelRoad::clipboardText(), QStringLiteral("kept"));
        QVERIFY(m_road->controller().isPanelVisible());
    }

    void markdownReplyAndCopiedConfirmation()
    {
        m_server.enqueue("POST", chatPath, reply({markdownReply}));
        QVERIFY(showOverEditor());
        QVERIFY(typeText(QStringLiteral("explain")));
        QTRY_COMPARE(m_road->state().inputText(), QStringLiteral("explain"));
        QVERIFY(key(QStringLiteral("Return")));
        QTRY_VERIFY_WITH_TIMEOUT(
            m_road->state().responseText() == markdownReply && !m_road->state().isLoading(), 10000);
        settle(200);
        m_road->saveScreenshot(QStringLiteral("markdown"));
        QVERIFY(key(QStringLiteral("ctrl+c")));
        QTRY_VERIFY(m_road->controller().model().showCopiedFeedback());
        settle(300);
        m_road->saveScreenshot(QStringLiteral("copied"));
        QCOMPARE(PanelRoad::clipboardText(), markdownReply);
    }

    void longStreamingReplyStopsGrowing()
    {
        QStringList lines;
        for (int i = 0; i < 150; ++i)
            lines.append(
                QStringLiteral("Line %1: a streamed reply longer than the screen.\n").arg(i));
        m_server.enqueue("POST", chatPath, reply(lines, 15));
        QVERIFY(showOverEditor());
        QVERIFY(typeText(QStringLiteral("long")));
        QTRY_COMPARE(m_road->state().inputText(), QStringLiteral("long"));
        QVERIFY(key(QStringLiteral("Return")));
        CommandView *view = m_road->controller().view();
        QTRY_VERIFY_WITH_TIMEOUT(view->streamedResponseReachedVisibleLimit(), 15000);
        const QScreen *screen = m_road->controller().panel()->screen();
        const int half = screen->availableGeometry().height() / 2;
        // At a fractional scale the window's height is whole device pixels,
        // which may round its height in the toolkit's units down by one.
        const int slack =
            std::floor(screen->devicePixelRatio()) == screen->devicePixelRatio() ? 0 : 1;
        const auto fillsHalf = [&] {
            return std::abs(m_road->controller().panel()->barGeometry().height() - half) <= slack;
        };
        QTRY_VERIFY(fillsHalf());
        QTRY_VERIFY_WITH_TIMEOUT(!m_road->state().isLoading(), 15000);
        QVERIFY(fillsHalf());
    }

    void errorStatusAndImageThumbnail()
    {
        m_server.enqueue(
            "POST", chatPath,
            TestHttpServer::Response::json(
                500, QJsonObject{{QStringLiteral("error"),
                                  QJsonObject{{QStringLiteral("message"),
                                               QStringLiteral("model overloaded")}}}}));
        QVERIFY(showOverEditor());
        QVERIFY(typeText(QStringLiteral("try")));
        QTRY_COMPARE(m_road->state().inputText(), QStringLiteral("try"));
        QVERIFY(key(QStringLiteral("Return")));
        QTRY_VERIFY_WITH_TIMEOUT(!m_road->controller().model().statusMessage().isEmpty(), 10000);
        settle(200);
        m_road->saveScreenshot(QStringLiteral("error"));
        // A notification, which a screen reader announces as it appears.
        QVERIFY(PanelRoad::readAccessible(m_road->controller().model().statusMessage())
                    .startsWith(u"notification"));

        QImage image(480, 240, QImage::Format_RGB32);
        QPainter painter(&image);
        QLinearGradient gradient(0, 0, 480, 240);
        gradient.setColorAt(0, QColor(40, 90, 200));
        gradient.setColorAt(1, QColor(230, 120, 60));
        painter.fillRect(image.rect(), gradient);
        painter.end();
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        m_road->state().setCapturedImageData(png);
        settle(200);
        m_road->saveScreenshot(QStringLiteral("image"));
    }
};

int main(int argc, char *argv[])
{
    preparePlatform();
    prepareLinuxDesktopProcess();
    QApplication app(argc, argv);
    // The name screen readers and the tests find the application by.
    QApplication::setApplicationName(QStringLiteral("wrenlark"));
    PanelOnDesktopTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_panel_on_desktop.moc"
