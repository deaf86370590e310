// The command bar on a desktop of two monitors with different scale factors:
// it opens on the monitor of the focused window (else the pointer's), centred
// there, and grows to at most half of that monitor's height.
#include "ChatStream.h"
#include "core/session/AppState.h"
#include "support/AppStateHarness.h"
#include "support/FakePanelWindowSupport.h"
#include "ui/panel/CommandPanel.h"
#include "ui/panel/CommandPanelController.h"
#include "ui/panel/CommandView.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Left: 1920 × 1080 at scale 1. Right of it: 2560 × 1440 device pixels at
// scale 2, so 1280 × 720 in the toolkit's units.
QJsonObject monitors()
{
    // The toolkit scales by the ratio of the logical to the base resolution,
    // as it does for an X screen whose Xft.dpi is 192.
    const auto screen = [](const char *name, int x, int width, int height, int scale) {
        return QJsonObject{{QStringLiteral("name"), QLatin1String(name)},
                           {QStringLiteral("x"), x},
                           {QStringLiteral("y"), 0},
                           {QStringLiteral("width"), width},
                           {QStringLiteral("height"), height},
                           {QStringLiteral("logicalDpi"), 96 * scale},
                           {QStringLiteral("logicalBaseDpi"), 96},
                           {QStringLiteral("dpr"), 1}};
    };
    return QJsonObject{
        {QStringLiteral("screens"),
         QJsonArray{screen("Left", 0, 1920, 1080, 1), screen("Right", 1920, 2560, 1440, 2)}}};
}

QScreen *screenNamed(const QString &name)
{
    for (QScreen *screen : QGuiApplication::screens()) {
        if (screen->name() == name)
            return screen;
    }
    return nullptr;
}

struct Bar
{
    AppStateHarness harness;
    std::shared_ptr<FakePanelWindowSupport> desktop = std::make_shared<FakePanelWindowSupport>();
    std::unique_ptr<CommandPanelController> controller;

    Bar()
    {
        DesktopServices services;
        services.panelWindow = desktop;
        controller = std::make_unique<CommandPanelController>(harness.state(), services,
                                                              harness.analytics());
        harness.state().setRequestClose([this] { controller->hide(); });
        harness.applications().setFrontmostPid(AppStateHarness::editorPid);
    }
    CommandPanel *panel() { return controller->panel(); }
    bool showOn(QScreen *expected)
    {
        controller->show();
        return QTest::qWaitFor(
            [&] { return controller->isPanelVisible() && panel()->screen() == expected; });
    }
};

} // namespace

class TestPanelOnMonitors : public QObject
{
    Q_OBJECT

    TestHttpServer m_server;
    QScreen *m_left = nullptr;
    QScreen *m_right = nullptr;

private Q_SLOTS:
    void initTestCase()
    {
        writeSessionTestCatalog(m_server);
        m_left = screenNamed(QStringLiteral("Left"));
        m_right = screenNamed(QStringLiteral("Right"));
        QVERIFY(m_left && m_right);
        QCOMPARE(m_right->devicePixelRatio(), 2.0);
        QCOMPARE(m_right->geometry().size(), QSize(1280, 720));
    }

    void opensOnTheFocusedWindowsMonitor()
    {
        Bar bar;
        // The window system reports the focused window in device pixels.
        bar.desktop->focusedCenter = QPoint(1920 + 1800, 700);
        QVERIFY(bar.showOn(m_right));
        const QRect frame = bar.panel()->barGeometry();
        QCOMPARE(frame.width(), 640);
        QCOMPARE(frame.topLeft(), CommandPanelController::positionedOrigin(
                                      m_right->availableGeometry(), frame.size()));
        bar.controller->hide();

        bar.desktop->focusedCenter = QPoint(300, 900);
        QVERIFY(bar.showOn(m_left));
        QCOMPARE(bar.panel()->barGeometry().topLeft(),
                 CommandPanelController::positionedOrigin(m_left->availableGeometry(),
                                                          bar.panel()->barGeometry().size()));
    }

    void opensOnThePointersMonitorWithoutAFocusedWindow()
    {
        Bar bar;
        QCursor::setPos(m_right->geometry().center());
        QVERIFY(bar.showOn(m_right));
        bar.controller->hide();
        QCursor::setPos(m_left->geometry().center());
        QVERIFY(bar.showOn(m_left));
    }

    void growsToHalfOfItsOwnMonitor()
    {
        Bar bar;
        bar.desktop->focusedCenter = QPoint(1920 + 1280, 720);
        QVERIFY(bar.showOn(m_right));
        QStringList lines;
        for (int i = 0; i < 200; ++i)
            lines.append(QStringLiteral("line %1\n").arg(i));
        bar.harness.configureApiKeyProvider(QStringLiteral("openai"));
        m_server.enqueue("POST", ChatStream::chatPath, ChatStream::reply(lines, 5));
        bar.harness.type(QStringLiteral("go"));
        bar.harness.state().submit(SubmitAction::showOutput);
        QTRY_VERIFY_WITH_TIMEOUT(!bar.harness.state().isLoading(), 10000);
        // Half of the right monitor's 720, not of the left one's 1080.
        QTRY_COMPARE(bar.panel()->barGeometry().height(),
                     m_right->availableGeometry().height() / 2);
        QVERIFY(m_right->availableGeometry().contains(bar.panel()->barGeometry()));
    }
};

int main(int argc, char *argv[])
{
    QTemporaryDir folder;
    QFile config(folder.filePath(QStringLiteral("monitors.json")));
    if (!config.open(QIODevice::WriteOnly) || config.write(QJsonDocument(monitors()).toJson()) < 0)
        return 1;
    config.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config.fileName()));
    QApplication app(argc, argv);
    TestPanelOnMonitors test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_panel_on_monitors.moc"
