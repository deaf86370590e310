// The setup window over the real keyring (the private gnome-keyring of
// tests/support/desktop-session) and a local sign-in authority.

#include "WindowTestSupport.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/auth/OpenAIProPlusAuthProtocol.h"
#include "core/settings/SettingsStore.h"
#include "integration/auth/AuthTestSupport.h"
#include "platform/headless/LibsecretSecretStore.h"
#include "support/FakeAccessibilityTrust.h"
#include "support/FakeCommandKeybinding.h"
#include "support/FakeSecretStore.h"
#include "support/SecretServiceTestEnvironment.h"
#include "ui/common/APIKeyHelpLink.h"
#include "ui/common/DesktopShortcutRow.h"
#include "ui/common/DeviceCodeView.h"
#include "ui/common/LocalServerEditor.h"
#include "ui/common/StyledLabel.h"
#include "ui/onboarding/AccessibilityPermissionMonitor.h"
#include "ui/onboarding/OnboardingProviderSetupModel.h"
#include "ui/onboarding/OnboardingRootView.h"
#include "ui/onboarding/OnboardingWindowController.h"
#include "ui/onboarding/PermissionsStepView.h"
#include "ui/onboarding/ProviderChip.h"
#include "ui/onboarding/ProvidersStepView.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMutex>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QWaitCondition>
#include <functional>

using namespace AuthTestSupport;
using namespace WindowTestSupport;
using Response = TestHttpServer::Response;

namespace {

const QString openAI = QStringLiteral("openai");
const QString subscription = QStringLiteral("openai-pro-plus");
const QString local = QStringLiteral("local");

// A secret store whose calls wait until the test lets them through, like a
// keyring behind an unlock prompt.
class GatedSecretStore : public SecretStore
{
public:
    explicit GatedSecretStore(std::shared_ptr<SecretStore> inner)
        : m_inner(std::move(inner))
    {
    }
    void open() { setOpen(true); }
    void close() { setOpen(false); }
    int waiting() const { return m_waiting.loadAcquire(); }

    Result copyMatching(const QString &s, const QString &a) override
    {
        pass();
        return m_inner->copyMatching(s, a);
    }
    Result update(const QString &s, const QString &a, const QByteArray &p) override
    {
        pass();
        return m_inner->update(s, a, p);
    }
    Result add(const QString &s, const QString &a, const QByteArray &p) override
    {
        pass();
        return m_inner->add(s, a, p);
    }
    Result remove(const QString &s, const QString &a) override
    {
        pass();
        return m_inner->remove(s, a);
    }
    bool isAvailable() override { return true; }

private:
    void setOpen(bool open)
    {
        QMutexLocker lock(&m_mutex);
        m_open = open;
        m_changed.wakeAll();
    }
    void pass()
    {
        QMutexLocker lock(&m_mutex);
        m_waiting.ref();
        while (!m_open)
            m_changed.wait(&m_mutex);
        m_waiting.deref();
    }

    std::shared_ptr<SecretStore> m_inner;
    QMutex m_mutex;
    QWaitCondition m_changed;
    bool m_open = false;
    QAtomicInt m_waiting;
};

} // namespace

class TestOnboardingWindow : public QObject
{
    Q_OBJECT

    TestHttpServer m_authority;
    std::unique_ptr<FakeAuthority> m_fakeAuthority;
    std::shared_ptr<TestBrowser> m_browser;
    std::shared_ptr<SecretStore> m_keyring;
    std::shared_ptr<SecretStore>
        m_secrets; // what install() hands the window: m_keyring or a stand-in
    std::unique_ptr<OpenAIProPlusAuthManager> m_auth;
    std::unique_ptr<AIProviderRegistry> m_registry; // its subscription signs in through m_auth
    std::unique_ptr<RecordedAnalytics> m_analytics;
    std::shared_ptr<FakeAccessibilityTrust> m_trust;
    std::shared_ptr<GatedSecretStore> m_gated; // opened again whatever a test left

    // What the desktop part of the permission step gets.
    std::shared_ptr<CommandKeybindingService> m_keybinding;
    DesktopNotices m_notices;
    // Last, so its windows go before what they refer to.
    std::unique_ptr<OnboardingWindowController> m_controller;

    void install(OpenAIProPlusAuthOptions options = {})
    {
        if (options.callbackPort == OpenAIProPlusAuthProtocol::callbackPort)
            options.callbackPort = 0; // never the real port in tests
        options.devicePollExtraSeconds = 0.02;
        // The window being replaced still refers to the old manager and registry.
        auto previous = std::move(m_auth);
        auto previousRegistry = std::move(m_registry);
        m_auth = std::make_unique<OpenAIProPlusAuthManager>(KeychainStore(m_secrets), options);
        OnboardingDependencies dependencies;
        m_registry = std::make_unique<AIProviderRegistry>(AIProviderRegistry::builtIn(*m_auth));
        dependencies.registry = m_registry.get();
        dependencies.analytics = m_analytics->analytics();
        dependencies.browser = m_browser.get();
        dependencies.makeSettingsStore = SettingsStore::userStores(*m_registry, m_secrets);
        dependencies.trust = m_trust;
        dependencies.commandKeybinding = m_keybinding;
        dependencies.desktopNotices = m_notices;
        m_controller.reset(); // its window still refers to the previous manager
        m_controller = std::make_unique<OnboardingWindowController>(dependencies);
        previousRegistry.reset();
        previous.reset();
    }

    OnboardingWindowController &controller()
    {
        if (!m_controller)
            install();
        return *m_controller;
    }
    OnboardingRootView *root() { return controller().rootView(); }
    ProvidersStepView *providers() { return root()->providersView(); }
    OnboardingProviderSetupModel *model() { return root()->providerSetup(); }

    std::optional<QString> storedKey(const QString &providerID) const
    {
        return KeychainStore(m_secrets).read(
            AIProviderRegistry::shared().provider(providerID)->apiKeyAccount());
    }

    SettingsStore userSettings() const { return SettingsStore(m_secrets); }

    // Shows the window and walks forward to the provider step, choosing `providerID`.
    bool openProviders(const QString &providerID)
    {
        controller().show();
        root()->goForward();
        [&] { QTRY_VERIFY_WITH_TIMEOUT(root()->permissionMonitor()->isKnown(), 5000); }();
        root()->goForward();
        if (root()->step() != OnboardingStep::providers)
            return false;
        QTest::mouseClick(providers()->chip(providerID), Qt::LeftButton);
        [&] { QTRY_VERIFY_WITH_TIMEOUT(model()->isLoaded(), 10000); }();
        return model()->selectedProviderID() == providerID && model()->isLoaded();
    }

    void typeKey(const QString &text)
    {
        providers()->apiKeyField()->setFocus();
        QTest::keyClicks(providers()->apiKeyField(), text);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (const auto reason = SecretServiceTestEnvironment::unavailableReason())
            QSKIP(qPrintable(*reason));
        writeConfiguration(m_authority);
        m_fakeAuthority = std::make_unique<FakeAuthority>(m_authority);
        m_keyring = std::make_shared<LibsecretSecretStore>();
        OpenAIProPlusAuthManager::createShared(m_keyring);
        usePalette(false);
        m_analytics = std::make_unique<RecordedAnalytics>(m_keyring);
    }

    void init()
    {
        m_secrets = m_keyring;
        clearStoredCredentials(m_keyring);
        QFile::remove(UserDefaults::standardFilePath());
        m_browser = std::make_shared<TestBrowser>();
        m_trust = std::make_shared<FakeAccessibilityTrust>();
        m_keybinding.reset();
        m_notices = {};
        m_analytics->clear();
        install();
    }

    void cleanup()
    {
        if (m_gated)
            m_gated->open();
        controller().window()->hide(); // which stores what the window still holds
        model()->waitForKeyring();
        m_secrets = m_keyring;
    }

    void stepsAndControlBar()
    {
        QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
        controller().show();
        QWidget *window = controller().window();
        QVERIFY(controller().isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Wrenlark Setup"));
        QCOMPARE(window->size(), QSize(760, 560));

        QCOMPARE(root()->step(), OnboardingStep::intro);
        QVERIFY(!root()->backButton()->isVisible());
        QCOMPARE(root()->stepLabel()->text(), QStringLiteral("Step 1 of 3"));
        QCOMPARE(root()->forwardButton()->text(), QStringLiteral("Next"));
        QCOMPARE(root()->forwardButton()->accessibleName(), QStringLiteral("Next"));
        QVERIFY(root()->forwardButton()->isEnabled());
        saveScreenshot(window, QStringLiteral("onboarding-intro-light"));

        QTest::mouseClick(root()->forwardButton(), Qt::LeftButton);
        QCOMPARE(root()->step(), OnboardingStep::permissions);
        QVERIFY(root()->backButton()->isVisible());
        QCOMPARE(root()->stepLabel()->text(), QStringLiteral("Step 2 of 3"));
        QCOMPARE(root()->forwardButton()->text(), QStringLiteral("Next"));
        QTRY_VERIFY(root()->forwardButton()->isEnabled()); // granted already

        QTest::mouseClick(root()->forwardButton(), Qt::LeftButton);
        QCOMPARE(root()->step(), OnboardingStep::providers);
        QCOMPARE(root()->stepLabel()->text(), QStringLiteral("Step 3 of 3"));
        QCOMPARE(root()->forwardButton()->text(), QStringLiteral("Complete"));
        QCOMPARE(root()->forwardButton()->accessibleName(), QStringLiteral("Complete"));
        QVERIFY(!root()->forwardButton()->isEnabled()); // nothing configured

        QTest::mouseClick(root()->backButton(), Qt::LeftButton);
        QCOMPARE(root()->step(), OnboardingStep::permissions);

        // Closing hides the window without ending the application, and leaves setup open.
        window->close();
        QVERIFY(!controller().isVisible());
        QCOMPARE(controller().window(), window);
        QCOMPARE(lastWindowClosed.count(), 0);
        QVERIFY(!userSettings().didCompleteOnboarding());

        QCOMPARE(m_analytics->count(QStringLiteral("Onboarding.shown")), 1);
        QStringList viewed;
        for (const auto &record : m_analytics->named(QStringLiteral("Onboarding.stepViewed")))
            viewed.append(RecordedAnalytics::parameter(record, QStringLiteral("step")));
        QCOMPARE(viewed, (QStringList{"intro", "permissions", "providers", "permissions"}));
        QStringList completed;
        for (const auto &record : m_analytics->named(QStringLiteral("Onboarding.stepCompleted")))
            completed.append(RecordedAnalytics::parameter(record, QStringLiteral("step")));
        QCOMPARE(completed, (QStringList{"intro", "permissions"}));
    }

    void grantedPermissionIsNotRequestedAgain()
    {
        controller().show();
        AccessibilityPermissionMonitor *monitor = root()->permissionMonitor();
        QTRY_VERIFY(monitor->isKnown());
        QVERIFY(monitor->isGranted());
        monitor->requestPermission();
        QVERIFY(!monitor->isPolling());
        QVERIFY(!monitor->isRequesting());
        QCOMPARE(m_trust->requestCount(), 0);
        QCOMPARE(m_analytics->count(QStringLiteral("Accessibility.permissionRequested")), 0);
    }

    void grantingWhileWaitingEnablesNext()
    {
        m_trust->setTrusted(false);
        install();
        controller().show();
        root()->goForward();
        AccessibilityPermissionMonitor *monitor = root()->permissionMonitor();
        QTRY_VERIFY(monitor->isKnown());
        PermissionsStepView *step = root()->permissionsView();
        QCOMPARE(step->grantButton()->text(), QStringLiteral("Grant Permission"));
        QVERIFY(!root()->forwardButton()->isEnabled());
        // Nothing is asked of the desktop while nobody waits for an answer.
        QVERIFY(!monitor->isPolling());
        saveScreenshot(controller().window(), QStringLiteral("onboarding-permissions-light"));

        QTest::mouseClick(step->grantButton(), Qt::LeftButton);
        QTRY_COMPARE(step->stateLabel()->text(), QStringLiteral("Waiting for permissions..."));
        QTRY_VERIFY(monitor->isPolling());
        QCOMPARE(m_trust->requestCount(), 1);

        m_trust->setTrusted(true); // the user turned it on elsewhere
        QTRY_COMPARE(step->stateLabel()->text(), QStringLiteral("Permission granted!"));
        QCOMPARE(step->grantButton()->text(), QStringLiteral("Granted"));
        QVERIFY(root()->forwardButton()->isEnabled());
        QTRY_VERIFY(!monitor->isPolling());
        QCOMPARE(m_analytics->count(QStringLiteral("Accessibility.permissionRequested")), 1);
        QCOMPARE(m_analytics->count(QStringLiteral("Accessibility.permissionGranted")), 1);
    }

    // Where GNOME's settings can take the shortcut, the step offers it; only
    // a press of the button adds it. What the desktop lacks is said there.
    void permissionStepOffersTheDesktopShortcutAndSaysWhatIsMissing()
    {
        auto keybinding = std::make_shared<FakeCommandKeybinding>();
        m_keybinding = keybinding;
        m_notices.capabilities = {QStringLiteral("Wrenlark types its copy and paste keys through "
                                                 "your desktop's remote desktop permission.")};
        install();
        controller().show();
        root()->goForward();
        PermissionsStepView *step = root()->permissionsView();
        QVERIFY(step->desktopShortcut());
        QPushButton *add = step->desktopShortcut()->button();
        QCOMPARE(add->text(), QStringLiteral("Add to GNOME Shortcuts"));
        QCOMPARE(add->accessibleName(), add->text());
        QCOMPARE(keybinding->installs, 0);
        const auto notices = step->findChildren<QLabel *>();
        QVERIFY(std::any_of(notices.begin(), notices.end(), [this](QLabel *label) {
            return label->isVisible() && label->accessibleName() == m_notices.capabilities.first();
        }));
        saveScreenshot(controller().window(), QStringLiteral("onboarding-permissions-gnome-light"));

        add->setFocus();
        QTest::keyClick(add, Qt::Key_Space);
        QCOMPARE(keybinding->m_own, std::optional<QString>(QStringLiteral("Alt+Space")));
        QCOMPARE(add->text(), QStringLiteral("Remove from GNOME Shortcuts"));
        QTest::keyClick(add, Qt::Key_Space);
        QCOMPARE(keybinding->m_own, std::nullopt);

        // Elsewhere the instructions take the row's place.
        m_keybinding.reset();
        m_notices.shortcut = QStringLiteral("Bind `wrenlark toggle` in your compositor.");
        install();
        controller().show();
        root()->goForward();
        step = root()->permissionsView();
        QVERIFY(!step->desktopShortcut());
        const auto lines = step->findChildren<QLabel *>();
        QVERIFY(std::any_of(lines.begin(), lines.end(), [this](QLabel *label) {
            return label->isVisible() && label->text() == m_notices.shortcut;
        }));
    }

    void keyIsStoredAsItIsTyped()
    {
        QVERIFY(openProviders(openAI));
        QLineEdit *field = providers()->apiKeyField();
        QCOMPARE(field->accessibleName(), QStringLiteral("API Key"));
        QCOMPARE(field->echoMode(), QLineEdit::Password);
        QVERIFY(!root()->forwardButton()->isEnabled());

        field->setFocus();
        QString typed;
        for (const QChar c : QStringLiteral("sk-12")) {
            QTest::keyClick(field, c.toLatin1());
            typed += c;
            QTRY_COMPARE(storedKey(openAI), std::optional<QString>(typed));
        }
        QTRY_VERIFY(root()->forwardButton()->isEnabled());
        QVERIFY(providers()->readyLabel()->isVisible());
        saveScreenshot(controller().window(), QStringLiteral("onboarding-providers-light"));

        // The help link is a link a screen reader can press.
        auto *link = providers()->findChild<APIKeyHelpLink *>();
        QAccessibleInterface *linkAccessible = QAccessible::queryAccessibleInterface(link);
        QCOMPARE(linkAccessible->role(), QAccessible::Link);
        linkAccessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(m_browser->opened.contains(link->url()));

        // Emptying the field removes the key and the way forward.
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTRY_COMPARE(storedKey(openAI), std::nullopt);
        QTRY_VERIFY(!root()->forwardButton()->isEnabled());

        // Usable once, after the first character: one signal, not one per character.
        const auto configured = m_analytics->named(QStringLiteral("Provider.configured"));
        QCOMPARE(configured.size(), 1);
        QCOMPARE(RecordedAnalytics::parameter(configured[0], "location"), "onboarding");
        QCOMPARE(userSettings().currentProvider()->id(), openAI);
    }

    void badKeysGetAMessageUnderTheField()
    {
        QVERIFY(openProviders(openAI));
        typeKey(QStringLiteral("  sk-trim  "));
        QTRY_COMPARE(storedKey(openAI), std::optional<QString>(QStringLiteral("sk-trim")));
        QVERIFY(!providers()->keyMessage()->isVisible());

        // A key pasted with a control character in it is refused and nothing changes.
        providers()->apiKeyField()->insert(QStringLiteral("\u0007x"));
        model()->waitForKeyring();
        QCoreApplication::processEvents();
        QVERIFY(providers()->keyMessage()->isVisible());
        QVERIFY(providers()->keyMessage()->text().contains(QStringLiteral("control characters")));
        QCOMPARE(storedKey(openAI), std::optional<QString>(QStringLiteral("sk-trim")));
        QVERIFY(providers()->apiKeyField()->text().contains(QChar(0x07))); // nothing typed is lost
    }

    void lockedKeyringIsSaid()
    {
        model()->waitForKeyring();
        auto failing = std::make_shared<FakeSecretStore>();
        failing->failWith(24, QStringLiteral("No answer from the Secret Service within 3 s"));
        m_secrets = failing;
        install();
        QVERIFY(openProviders(openAI));
        typeKey(QStringLiteral("sk-locked"));
        QTRY_VERIFY(providers()->keyMessage()->isVisible());
        QVERIFY(providers()->keyMessage()->text().contains(QStringLiteral("keyring")));
        QCOMPARE(providers()->apiKeyField()->text(), QStringLiteral("sk-locked"));

        // Once it answers again, Return stores what is in the field.
        failing->stopFailing();
        QTest::keyClick(providers()->apiKeyField(), Qt::Key_Return);
        model()->waitForKeyring();
        QTRY_VERIFY(!providers()->keyMessage()->isVisible());
        QCOMPARE(KeychainStore(QStringLiteral("com.wrenlark"), failing).read("openai_api_key"),
                 std::optional<QString>(QStringLiteral("sk-locked")));
    }

    void windowKeepsWorkingWhileTheKeyringWaits()
    {
        model()->waitForKeyring(); // the window of init() reads through the open keyring
        m_gated = std::make_shared<GatedSecretStore>(m_keyring);
        GatedSecretStore *gated = m_gated.get();
        m_secrets = m_gated;
        install(); // its first read waits at the gate
        controller().show();
        root()->goForward();
        root()->goForward();
        QTest::mouseClick(providers()->chip(openAI), Qt::LeftButton);
        QTRY_VERIFY(gated->waiting() > 0);
        QVERIFY(!providers()->apiKeyField()->isEnabled());
        QCOMPARE(providers()->apiKeyField()->placeholderText(),
                 QStringLiteral("Reading the keyring…"));
        gated->open();
        QTRY_VERIFY(providers()->apiKeyField()->isEnabled());

        // Typing goes on while the keyring holds the saves back; the last text wins.
        gated->close();
        typeKey(QStringLiteral("sk-a"));
        QTRY_VERIFY(gated->waiting() > 0);
        typeKey(QStringLiteral("bc"));
        QCOMPARE(providers()->apiKeyField()->text(), QStringLiteral("sk-abc"));
        gated->open();
        model()->waitForKeyring();
        QCOMPARE(storedKey(openAI), std::optional<QString>(QStringLiteral("sk-abc")));
    }

    void cancelledSignInLeavesNoSession()
    {
        m_browser->follow = false; // the user never finishes in the browser
        QVERIFY(openProviders(subscription));
        QPushButton *connectButton = providers()->connectButton();
        QCOMPARE(connectButton->text(), QStringLiteral("Connect in Browser"));
        QCOMPARE(connectButton->accessibleName(), QStringLiteral("Connect in Browser"));
        QCOMPARE(providers()->accountText()->text(),
                 QStringLiteral("Use your existing ChatGPT Pro or Plus subscription in Wrenlark."));
        QTest::mouseClick(connectButton, Qt::LeftButton);
        QTRY_COMPARE(m_browser->opened.size(), 1);
        QVERIFY(providers()->cancelButton()->isVisible());
        QTest::mouseClick(providers()->cancelButton(), Qt::LeftButton);
        QTRY_COMPARE(providers()->statusLabel()->text(), QStringLiteral("Sign-in canceled."));
        QVERIFY(!providers()->cancelButton()->isVisible());
        QCOMPARE(m_auth->storedSession(), std::nullopt);
        QVERIFY(!root()->forwardButton()->isEnabled());
    }

    void refusedTokenExchangeIsShown()
    {
        m_authority.enqueue("POST", "/oauth/token", Response::json(400, {}));
        QVERIFY(openProviders(subscription));
        QTest::mouseClick(providers()->connectButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(providers()->statusLabel()->text(),
                                  QStringLiteral("OpenAI token exchange failed (400)."), 10000);
        QCOMPARE(m_auth->storedSession(), std::nullopt);
    }

    void deviceCodeSignInThenDisconnect()
    {
        QTcpServer otherApp; // holds the callback port
        QVERIFY(otherApp.listen(QHostAddress::LocalHost, 0));
        m_authority.enqueue(
            "POST", "/api/accounts/deviceauth/usercode",
            Response::json(
                200, {{"device_auth_id", "dev-1"}, {"user_code", "WREN-4821"}, {"interval", "0"}}));
        m_authority.setDefault("POST", "/api/accounts/deviceauth/token", Response::json(403, {}));
        OpenAIProPlusAuthOptions options;
        options.callbackPort = otherApp.serverPort();
        install(options);
        QVERIFY(openProviders(subscription));
        QTest::mouseClick(providers()->connectButton(), Qt::LeftButton);

        QTRY_COMPARE(providers()->statusLabel()->text(),
                     QStringLiteral("OpenAI device login code: WREN-4821"));
        DeviceCodeView *code = providers()->deviceCodeView();
        QVERIFY(code->isVisible());
        QCOMPARE(code->code(), QStringLiteral("WREN-4821"));
        QTRY_VERIFY(m_browser->opened.contains(m_authority.url("/codex/device")));
        saveScreenshot(controller().window(), QStringLiteral("onboarding-device-code-light"));

        // The authority accepts the code.
        m_authority.enqueue("POST", "/api/accounts/deviceauth/token",
                            Response::json(200, {{"authorization_code", "dev-code"},
                                                 {"code_verifier", "dev-verifier"}}));
        m_authority.enqueue(
            "POST", "/oauth/token",
            Response::json(200, tokenReply(QStringLiteral("access"), QStringLiteral("refresh"),
                                           {{"id_token", jwt({{"email", "me@example.com"}})}})));
        QTRY_COMPARE_WITH_TIMEOUT(providers()->accountText()->text(),
                                  QStringLiteral("Connected as me@example.com"), 10000);
        QVERIFY(!code->isVisible());
        QCOMPARE(providers()->connectButton()->text(), QStringLiteral("Reconnect"));
        QTRY_VERIFY(root()->forwardButton()->isEnabled());
        m_authority.setDefault("POST", "/api/accounts/deviceauth/token", Response::json(404, {}));

        QTest::mouseClick(providers()->disconnectButton(), Qt::LeftButton);
        QTRY_COMPARE(
            providers()->accountText()->text(),
            QStringLiteral("Use your existing ChatGPT Pro or Plus subscription in Wrenlark."));
        QTRY_VERIFY(!root()->forwardButton()->isEnabled());
        QCOMPARE(m_auth->storedSession(), std::nullopt);
        QCOMPARE(m_analytics->count(QStringLiteral("Provider.disconnected")), 1);
    }

    void completingRecordsItAndCloses()
    {
        QSignalSpy completed(&controller(), &OnboardingWindowController::completed);
        QVERIFY(openProviders(openAI));
        typeKey(QStringLiteral("sk-done"));
        QTRY_VERIFY(root()->forwardButton()->isEnabled());
        QTest::mouseClick(root()->forwardButton(), Qt::LeftButton);
        QCOMPARE(completed.count(), 1);
        QVERIFY(!controller().isVisible());
        QVERIFY(userSettings().didCompleteOnboarding());
        model()->waitForKeyring(); // what was typed last is on its way to the keyring
        QCOMPARE(storedKey(openAI), std::optional<QString>(QStringLiteral("sk-done")));
        QCOMPARE(m_analytics->count(QStringLiteral("Onboarding.completed")), 1);
    }

    void screenshotsInDark()
    {
        usePalette(true);
        walkEveryStep([this](const QString &step) {
            saveScreenshot(controller().window(), QStringLiteral("onboarding-%1-dark").arg(step));
        });
        usePalette(false);
    }

    // With the desktop's large text and a high-contrast palette every step
    // can be read whole.
    void largeTextAndHighContrastCutNothing()
    {
        useLargeTextAndHighContrast(1.5);
        walkEveryStep([this](const QString &step) {
            QWidget *window = controller().window();
            saveScreenshot(window, QStringLiteral("onboarding-%1-large-contrast").arg(step));
            const QStringList cut = cutTexts(window);
            QVERIFY2(cut.isEmpty(), qPrintable(step + u'\n' + cut.join(u'\n')));
        });
        usePalette(false);
    }

private:
    // Walks setup from its first step to the subscription's account and the
    // local server, with a key typed for OpenAI on the way; `atStep` runs as
    // each of "intro", "permissions", "providers", "account" and "local" shows.
    void walkEveryStep(const std::function<void(const QString &)> &atStep)
    {
        m_trust->setTrusted(false);
        install();
        controller().show();
        atStep(QStringLiteral("intro"));
        root()->goForward();
        QTRY_VERIFY(root()->permissionMonitor()->isKnown());
        atStep(QStringLiteral("permissions"));
        m_trust->setTrusted(true);
        root()->permissionMonitor()->refresh();
        QTRY_VERIFY(root()->forwardButton()->isEnabled());
        root()->goForward();
        QTest::mouseClick(providers()->chip(openAI), Qt::LeftButton);
        QTRY_VERIFY(model()->isLoaded());
        typeKey(QStringLiteral("sk-walk"));
        QTRY_VERIFY(root()->forwardButton()->isEnabled());
        atStep(QStringLiteral("providers"));
        QTest::mouseClick(providers()->chip(subscription), Qt::LeftButton);
        atStep(QStringLiteral("account"));
        // No server listens at the suggested address here: its check says so.
        QTest::mouseClick(providers()->chip(local), Qt::LeftButton);
        QTRY_VERIFY(!providers()->localServerEditor()->message()->text().isEmpty() &&
                    !providers()->localServerEditor()->isChecking());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        atStep(QStringLiteral("local"));
    }
};

QTEST_MAIN(TestOnboardingWindow)
#include "test_onboardingwindow.moc"
