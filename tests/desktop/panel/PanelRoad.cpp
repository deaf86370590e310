#include "PanelRoad.h"

#include "core/analytics/AnalyticsClient.h"
#include "core/analytics/AppAnalytics.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/providers/AIProviderRegistry.h"
#include "core/settings/SettingsStore.h"
#include "platform/linux/LinuxDesktopServices.h"
#include "support/AppStateHarness.h"
#include "support/DesktopTestSession.h"
#include "support/FakeSecretStore.h"
#include "ui/panel/CommandPanel.h"
#include "ui/panel/CommandView.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

using namespace DesktopTestSession;

namespace {

// The bar is tested here, not the keyring: keys live in memory, one store
// for the whole run, which the shared sign-in manager uses too.
std::shared_ptr<SecretStore> keysInMemory()
{
    static const auto store = [] {
        auto secrets = std::make_shared<FakeSecretStore>();
        OpenAIProPlusAuthManager::createShared(secrets);
        return secrets;
    }();
    return store;
}

} // namespace

PanelRoad::PanelRoad()
{
    AnalyticsDeliveryOptions delivery; // no endpoint: signals are recorded only
    delivery.queueFilePath =
        qEnvironmentVariable("WRENLARK_TEST_SANDBOX") + QStringLiteral("/analytics-queue.json");
    m_analytics = std::make_unique<AppAnalytics>(std::make_unique<SettingsStore>(keysInMemory()),
                                                 AIProviderRegistry::shared(), delivery);
    m_analytics->initialize();
    QObject::connect(m_analytics->client(), &AnalyticsClient::signalRecorded,
                     [this](const AnalyticsSignalRecord &record) {
                         for (auto it = record.payload.cbegin(); it != record.payload.cend();
                              ++it) {
                             if (it.key().endsWith(QLatin1String("endReason")))
                                 m_endReasons.append(it.value());
                         }
                     });
    const DesktopServices desktop = createLinuxDesktopServices(m_desktop);
    AppStateDependencies dependencies;
    dependencies.desktop = desktop;
    dependencies.settingsStore = std::make_unique<SettingsStore>(keysInMemory());
    dependencies.analytics = m_analytics.get();
    dependencies.providerRegistry = &AIProviderRegistry::shared();
    dependencies.instructionHistory = &m_instructionHistory;
    m_state = std::make_unique<AppState>(std::move(dependencies));
    m_controller = std::make_unique<CommandPanelController>(*m_state, desktop, *m_analytics);
    m_state->setRequestClose([this] { m_controller->hide(); });
}

PanelRoad::~PanelRoad()
{
    m_controller.reset();
    m_state.reset();
    m_analytics.reset();
}

quint64 PanelRoad::activeWindow()
{
    const auto result = run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")});
    return result.output.trimmed().toULongLong();
}

quint64 PanelRoad::panelWindow() const
{
    return m_controller->panel()->winId();
}

QString PanelRoad::readAccessible(const QString &name)
{
    return DesktopTestSession::readAccessible(QCoreApplication::applicationName(), name);
}

QString PanelRoad::clipboardText()
{
    const auto result =
        run(QStringLiteral("xclip"),
            {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
    return result.exitCode == 0 ? QString::fromUtf8(result.output) : QString();
}

void PanelRoad::setClipboardText(const QString &text)
{
    // xclip stays to serve the clipboard until someone else takes it.
    QProcess::startDetached(
        QStringLiteral("sh"),
        {QStringLiteral("-c"),
         QStringLiteral("printf %s \"$0\" | xclip -selection clipboard >/dev/null 2>&1"), text});
    settle(300);
}

void PanelRoad::saveScreenshot(const QString &name) const
{
    const QString folder =
        qEnvironmentVariable("WRENLARK_TEST_SANDBOX") + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    // What the X server shows, in device pixels at the session's scale.
    const CommandPanel *panel = m_controller->panel();
    if (QScreen *screen = panel->screen()) {
        const QRect frame = panel->geometry().translated(-screen->geometry().topLeft());
        screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
            .save(folder + u'/' + name + QStringLiteral("-screen.png"));
    }
    // The bar drawn on its own at scale 2, shadow and corners on transparency.
    QWidget *view = m_controller->view();
    constexpr qreal ratio = 2.0;
    QImage image(view->size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        view->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    }
    image.save(folder + u'/' + name + QStringLiteral(".png"));
}

void PanelRoad::configureProvider(const TestHttpServer &server)
{
    writeSessionTestCatalog(server);
    SettingsStore settings(keysInMemory());
    const AIProviderPointer provider =
        AIProviderRegistry::shared().provider(QStringLiteral("openai"));
    settings.saveApiKey(QStringLiteral("test-key"), *provider);
    settings.setModel(QStringLiteral("model-1"), *provider);
    settings.setCurrentProvider(*provider);
}
