// The Settings window over the real keyring (the private gnome-keyring of
// tests/support/desktop-session) and a local sign-in authority.

#include "WindowTestSupport.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/auth/OpenAIProPlusAuthProtocol.h"
#include "core/catalog/SharedModelCatalogStore.h"
#include "core/desktop/KeyboardControlPermission.h"
#include "core/desktop/LoginItemService.h"
#include "core/session/InstructionHistory.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/support/AppMetadata.h"
#include "integration/auth/AuthTestSupport.h"
#include "platform/headless/LibsecretSecretStore.h"
#include "support/FakeCommandKeybinding.h"
#include "support/FakeGlobalShortcutService.h"
#include "support/SecretServiceTestEnvironment.h"
#include "support/TestHttpServer.h"
#include "support/TestSandbox.h"
#include "ui/common/DesktopShortcutRow.h"
#include "ui/common/DeviceCodeView.h"
#include "ui/common/LocalServerEditor.h"
#include "ui/common/StyledLabel.h"
#include "ui/preferences/AIProvidersPreferencesView.h"
#include "ui/preferences/AddProviderDialog.h"
#include "ui/preferences/CommandsPreferencesView.h"
#include "ui/preferences/GeneralPreferencesView.h"
#include "ui/preferences/KeyboardPermissionRow.h"
#include "ui/preferences/PreferencesRootView.h"
#include "ui/preferences/PreferencesWindow.h"
#include "ui/preferences/PreferencesWindowController.h"
#include "ui/preferences/ShortcutRecorder.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTcpServer>
#include <QTest>

using namespace AuthTestSupport;
using namespace WindowTestSupport;
using Response = TestHttpServer::Response;

namespace {

const QString openAI = QStringLiteral("openai");
const QString anthropic = QStringLiteral("anthropic");
const QString subscription = QStringLiteral("openai-pro-plus");
const QString local = QStringLiteral("local");

// A desktop that granted the keys and keeps the permission until revoked.
class GrantedKeyboardPermission : public KeyboardControlPermission
{
public:
    Grant grant() const override { return m_grant; }
    void revoke() override
    {
        m_grant = Grant::notGranted;
        Q_EMIT grantChanged();
    }

private:
    Grant m_grant = Grant::kept;
};

class FakeLoginItems : public LoginItemService
{
public:
    Status status() override { return m_status; }
    bool registerItem(QString *) override
    {
        m_status = Status::enabled;
        return true;
    }
    bool unregisterItem(QString *) override
    {
        m_status = Status::notRegistered;
        return true;
    }
    Status m_status = Status::notRegistered;
};

const AIProvider &provider(const QString &id)
{
    return *AIProviderRegistry::shared().provider(id);
}

} // namespace

class TestPreferencesWindow : public QObject
{
    Q_OBJECT

    TestHttpServer m_authority;
    std::unique_ptr<FakeAuthority> m_fakeAuthority;
    std::shared_ptr<TestBrowser> m_browser;
    std::shared_ptr<SecretStore> m_keyring;
    std::unique_ptr<OpenAIProPlusAuthManager> m_auth;
    std::unique_ptr<AIProviderRegistry> m_registry; // its subscription signs in through m_auth
    std::unique_ptr<RecordedAnalytics> m_analytics;
    std::unique_ptr<FakeGlobalShortcutService> m_shortcuts;
    std::shared_ptr<FakeLoginItems> m_loginItems;
    // Set only by the test of GNOME's keyboard shortcuts.
    std::shared_ptr<FakeCommandKeybinding> m_commandKeybinding;
    std::shared_ptr<GrantedKeyboardPermission> m_keyboardPermission;
    QStringList m_desktopNotices;
    int m_restarts = 0;
    InstructionHistory m_history;
    // Last, so its windows go before what they refer to.
    std::unique_ptr<PreferencesWindowController> m_controller;

    void install(OpenAIProPlusAuthOptions options = {})
    {
        if (options.callbackPort == OpenAIProPlusAuthProtocol::callbackPort)
            options.callbackPort = 0; // never the real port in tests
        options.devicePollExtraSeconds = 0.02;
        // The window being replaced still refers to the old manager and registry.
        auto previous = std::move(m_auth);
        auto previousRegistry = std::move(m_registry);
        m_auth = std::make_unique<OpenAIProPlusAuthManager>(KeychainStore(m_keyring), options);
        PreferencesDependencies dependencies;
        m_registry = std::make_unique<AIProviderRegistry>(AIProviderRegistry::builtIn(*m_auth));
        dependencies.registry = m_registry.get();
        dependencies.analytics = m_analytics->analytics();
        dependencies.browser = m_browser.get();
        dependencies.makeSettingsStore = SettingsStore::userStores(*m_registry, m_keyring);
        dependencies.shortcuts = m_shortcuts.get();
        dependencies.loginItems = m_loginItems;
        dependencies.commandKeybinding = m_commandKeybinding;
        dependencies.keyboardPermission = m_keyboardPermission;
        dependencies.desktopNotices = m_desktopNotices;
        dependencies.restartApplication = [this] { ++m_restarts; };
        dependencies.instructionHistory = &m_history;
        m_controller.reset(); // its window still refers to the previous manager
        m_controller = std::make_unique<PreferencesWindowController>(dependencies);
        previousRegistry.reset();
        previous.reset();
    }

    PreferencesWindowController &controller()
    {
        if (!m_controller)
            install();
        return *m_controller;
    }
    PreferencesRootView *root() { return controller().rootView(); }
    AIProvidersPreferencesView *providers() { return root()->providersView(); }

    std::optional<QString> storedKey(const QString &providerID) const
    {
        return KeychainStore(m_keyring).read(provider(providerID).apiKeyAccount());
    }

    SettingsStore userSettings() const { return SettingsStore(m_keyring); }

    bool openProviders()
    {
        controller().show(QStringLiteral("menu_bar"));
        root()->selectTab(PreferencesTab::providers);
        [&] { QTRY_VERIFY_WITH_TIMEOUT(providers()->isLoaded(), 10000); }();
        return providers()->isLoaded();
    }

    // The local provider, once its check (nobody listens here) has answered.
    void showLocalServer()
    {
        selectRow(local);
        LocalServerEditor *editor = providers()->localServerEditor();
        QTRY_VERIFY(!editor->message()->text().isEmpty() && !editor->isChecking());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }

    void selectRow(const QString &providerID)
    {
        QListWidget *list = providers()->providerList();
        for (int row = 0; row < list->count(); ++row) {
            if (list->item(row)->data(Qt::UserRole).toString() == providerID)
                list->setCurrentRow(row);
        }
        QCOMPARE(providers()->selectedProviderID(), providerID);
    }

    void typeKey(const QString &text)
    {
        providers()->apiKeyField()->setFocus();
        QTest::keyClicks(providers()->apiKeyField(), text);
    }

    void closeAndWait()
    {
        controller().window()->close();
        providers()->waitForKeyring();
        QCoreApplication::processEvents();
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
        clearStoredCredentials(m_keyring);
        QFile::remove(UserDefaults::standardFilePath());
        m_browser = std::make_shared<TestBrowser>();
        m_shortcuts = std::make_unique<FakeGlobalShortcutService>();
        m_shortcuts->setShortcut(GlobalShortcutService::toggleWrenlark,
                                 QStringLiteral("Alt+Space"));
        m_loginItems = std::make_shared<FakeLoginItems>();
        m_commandKeybinding.reset();
        m_keyboardPermission.reset();
        m_desktopNotices.clear();
        m_analytics->clear();
        install();
    }

    void cleanup()
    {
        controller().window()->hide(); // which stores what the window still holds
        providers()->waitForKeyring();
    }

    void windowTabsAndClosing()
    {
        QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
        controller().show(QStringLiteral("keyboard_shortcut"));
        QWidget *window = controller().window();
        QSignalSpy willClose(static_cast<PreferencesWindow *>(window),
                             &PreferencesWindow::willClose);
        QCOMPARE(window->windowTitle(), QStringLiteral("Settings"));
        QCOMPARE(window->size(), QSize(620, 620));
        QCOMPARE(root()->count(), 3);
        const QStringList titles = {"Commands", "AI Providers", "General"};
        for (int index = 0; index < 3; ++index) {
            QCOMPARE(root()->tabText(index), titles[index]);
            QCOMPARE(root()->widget(index)->accessibleName(), titles[index]);
        }

        root()->selectTab(PreferencesTab::providers);
        root()->selectTab(PreferencesTab::general);
        root()->selectTab(PreferencesTab::commands);
        QStringList selected;
        for (const auto &record : m_analytics->named(QStringLiteral("Settings.tabSelected")))
            selected.append(RecordedAnalytics::parameter(record, "tab"));
        QCOMPARE(selected, (QStringList{"providers", "general", "commands"}));
        const auto opened = m_analytics->named(QStringLiteral("Settings.opened"));
        QCOMPARE(opened.size(), 1);
        QCOMPARE(RecordedAnalytics::parameter(opened[0], "source"), "keyboard_shortcut");

        // Closing hides the same window; the application goes on.
        window->move(window->pos() + QPoint(40, 30));
        const QPoint moved = window->pos();
        window->close();
        QVERIFY(!controller().isVisible());
        QCOMPARE(willClose.count(), 1);
        QCOMPARE(lastWindowClosed.count(), 0);
        controller().show(QStringLiteral("command_line"));
        QCOMPARE(controller().window(), window);
        QCOMPARE(window->pos(), moved); // centred only the first time
    }

    void commandsAreStoredAtEveryChange()
    {
        controller().show(QStringLiteral("menu_bar"));
        CommandsPreferencesView *commands = root()->commandsView();
        QCOMPARE(commands->commands().size(), 2); // the defaults
        QCOMPARE(commands->shorthandField(0)->text(), QStringLiteral("eng"));

        QTest::mouseClick(commands->addButton(), Qt::LeftButton);
        QCOMPARE(userSettings().loadCommands().size(), 3);
        // The new row has the focus: typing goes there and is stored at once.
        QCOMPARE(controller().window()->focusWidget(), commands->shorthandField(2));
        QTest::keyClicks(commands->shorthandField(2), QStringLiteral("sum"));
        QCOMPARE(userSettings().loadCommands().last().command, QStringLiteral("sum"));
        // A command another process saves meanwhile stays through edits here.
        QList<UserCommand> elsewhere = userSettings().loadCommands();
        elsewhere.append(
            {QUuid::createUuid(), QStringLiteral("tl"), QStringLiteral("to Latin"), false});
        userSettings().saveCommands(elsewhere);
        QTest::keyClicks(commands->instructionField(2), QStringLiteral("summarize"));
        QCOMPARE(userSettings().resolveCommand(QStringLiteral("SUM")), QStringLiteral("summarize"));
        QCOMPARE(userSettings().resolveCommand(QStringLiteral("tl")), QStringLiteral("to Latin"));

        // A row added and left empty stays when the window closes.
        QTest::mouseClick(commands->addButton(), Qt::LeftButton);
        controller().window()->close();
        const QList<UserCommand> stored = userSettings().loadCommands();
        QCOMPARE(stored.size(), 5);
        QCOMPARE(stored.last().command, QString());
        QCOMPARE(stored.last().instruction, QString());

        // A shortcut recorded in a row is stored with the command and
        // registered; what the desktop says of it shows under the row.
        m_shortcuts->refuse(QStringLiteral("Ctrl+Alt+E"));
        commands->shortcutRecorder(1)->setFocus();
        QTest::keyClick(commands->shortcutRecorder(1), Qt::Key_E,
                        Qt::ControlModifier | Qt::AltModifier);
        const UserCommand gram = userSettings().loadCommands().at(1);
        QCOMPARE(gram.shortcut, QStringLiteral("Ctrl+Alt+E"));
        QCOMPARE(m_shortcuts->shortcut(GlobalShortcutService::commandName(gram.id)),
                 QStringLiteral("Ctrl+Alt+E"));
        QCOMPARE(commands->shortcutMessage(gram.id)->text(),
                 QStringLiteral("Ctrl+Alt+E is used by another program."));

        commands->removeCommand(stored.first().id);
        QCOMPARE(userSettings().loadCommands().size(), 4);
        QCOMPARE(userSettings().resolveCommand(QStringLiteral("eng")), std::nullopt);
        QCOMPARE(m_shortcuts->shortcut(GlobalShortcutService::commandName(gram.id)),
                 QStringLiteral("Ctrl+Alt+E"));
    }

    void keyWithBlanksIsStoredAndShownTrimmed()
    {
        QVERIFY(openProviders());
        selectRow(openAI);
        QCOMPARE(providers()->apiKeyField()->accessibleName(), QStringLiteral("API Key"));
        QCOMPARE(providers()->apiKeyField()->echoMode(), QLineEdit::Password);
        QCOMPARE(providers()->apiKeyField()->placeholderText(), QStringLiteral("API key"));
        typeKey(QStringLiteral("  sk-blanks \t"));
        // Nothing is stored while the key is only a draft...
        providers()->waitForKeyring();
        QCOMPARE(storedKey(openAI), std::nullopt);
        // ...and choosing another provider stores it.
        selectRow(anthropic);
        providers()->waitForKeyring();
        QCOMPARE(storedKey(openAI), std::optional<QString>(QStringLiteral("sk-blanks")));
        selectRow(openAI);
        QCOMPARE(providers()->apiKeyField()->text(), QStringLiteral("sk-blanks"));
    }

    void closingWhileTypingStoresTheKey()
    {
        QVERIFY(openProviders());
        selectRow(anthropic);
        typeKey(QStringLiteral("sk-ant-closing"));
        QCOMPARE(controller().window()->focusWidget(), providers()->apiKeyField());
        closeAndWait();
        QCOMPARE(storedKey(anthropic), std::optional<QString>(QStringLiteral("sk-ant-closing")));
    }

    void storedModelOutsideTheOptionsOpensAsCustom()
    {
        userSettings().setModel(QStringLiteral(" my-finetune "), provider(openAI));
        QVERIFY(openProviders());
        selectRow(openAI);
        QComboBox *picker = providers()->modelPicker();
        QCOMPARE(picker->currentText(), QStringLiteral("<Custom model>"));
        QVERIFY(providers()->customModelField()->isVisible());
        QCOMPARE(providers()->customModelField()->text(), QStringLiteral("my-finetune"));
        QCOMPARE(providers()->customModelField()->accessibleName(), QStringLiteral("Custom model"));
        // The default model is marked, and each option is a model of the catalog.
        const int recommended = picker->findData(provider(openAI).defaultModel());
        QCOMPARE(picker->itemText(recommended), provider(openAI).defaultModel() + " (recommended)");

        // A custom model typed with blanks is stored trimmed.
        providers()->customModelField()->selectAll();
        QTest::keyClicks(providers()->customModelField(), QStringLiteral("  other-model  "));
        closeAndWait();
        QCOMPARE(userSettings().model(provider(openAI)), QStringLiteral("other-model"));
        QCOMPARE(userSettings().defaults().string(SettingsKeys::model(openAI)),
                 QStringLiteral("other-model"));

        // Choosing a listed model again stores that one.
        QVERIFY(openProviders());
        picker->setCurrentIndex(recommended);
        Q_EMIT picker->activated(recommended);
        QVERIFY(!providers()->customModelField()->isVisible());
        closeAndWait();
        QCOMPARE(userSettings().model(provider(openAI)), provider(openAI).defaultModel());
    }

    void configuredIsSentOnce()
    {
        QVERIFY(openProviders());
        selectRow(openAI);
        typeKey(QStringLiteral("sk-once"));
        selectRow(anthropic); // saves openai: now usable
        selectRow(openAI);
        selectRow(anthropic); // saves openai again: nothing new
        closeAndWait();
        const auto configured = m_analytics->named(QStringLiteral("Provider.configured"));
        QCOMPARE(configured.size(), 1);
        QCOMPARE(RecordedAnalytics::parameter(configured[0], "providerID"), openAI);
        QCOMPARE(RecordedAnalytics::parameter(configured[0], "location"), "preferences");
    }

    void defaultProviderControlTexts()
    {
        QVERIFY(openProviders());
        QRadioButton *control = providers()->defaultControl();
        const auto chooseCustom = [&] {
            const int custom =
                providers()->modelPicker()->findData(QStringLiteral("<Custom model>"));
            providers()->modelPicker()->setCurrentIndex(custom);
            Q_EMIT providers()->modelPicker()->activated(custom);
        };
        const auto expect = [&](const char *text, bool enabled) {
            QCOMPARE(control->text(), QString::fromUtf8(text));
            QCOMPARE(control->accessibleName(), QString::fromUtf8(text));
            QCOMPARE(control->isEnabled(), enabled);
        };

        selectRow(subscription); // not connected
        expect("To make this provider default connect the account.", false);
        chooseCustom();
        expect("To make this provider default connect the account and choose a model.", false);

        selectRow(anthropic);
        expect("To make this provider default add API key.", false);
        chooseCustom();
        expect("To make this provider default add API key and model.", false);
        typeKey(QStringLiteral("sk-ant"));
        expect("To make this provider default add model.", false);
        QTest::keyClicks(providers()->customModelField(), QStringLiteral("claude-x"));
        expect("Set as default provider", true);
        QVERIFY(!control->isChecked());

        QTest::mouseClick(control, Qt::LeftButton);
        expect("Default provider", true);
        QVERIFY(control->isChecked());
        QCOMPARE(userSettings().currentProvider()->id(), anthropic);
        const auto selected = m_analytics->named(QStringLiteral("Provider.selected"));
        QCOMPARE(selected.size(), 1);
        QCOMPARE(RecordedAnalytics::parameter(selected[0], "providerID"), anthropic);
        QCOMPARE(RecordedAnalytics::parameter(selected[0], "location"), "preferences");
        // The list marks the new default.
        QListWidget *list = providers()->providerList();
        QCOMPARE(list->currentItem()->data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("Anthropic, default provider"));
    }

    void keyWithControlCharactersIsRefused()
    {
        QVERIFY(openProviders());
        selectRow(openAI);
        typeKey(QStringLiteral("sk-good"));
        selectRow(anthropic);
        selectRow(openAI);
        providers()->apiKeyField()->end(false);
        providers()->apiKeyField()->insert(QStringLiteral("\u001b[201~"));
        QVERIFY(providers()->apiKeyMessage()->isVisible());
        QVERIFY(
            providers()->apiKeyMessage()->text().contains(QStringLiteral("control characters")));
        closeAndWait();
        QCOMPARE(storedKey(openAI), std::optional<QString>(QStringLiteral("sk-good")));
    }

    void cancelledSignIn()
    {
        m_browser->follow = false;
        QVERIFY(openProviders());
        selectRow(subscription);
        QCOMPARE(providers()->connectButton()->accessibleName(),
                 QStringLiteral("Connect in Browser"));
        QTest::mouseClick(providers()->connectButton(), Qt::LeftButton);
        QTRY_COMPARE(m_browser->opened.size(), 1);
        QVERIFY(providers()->isAuthenticating());
        QVERIFY(providers()->cancelButton()->isVisible());
        QTest::mouseClick(providers()->cancelButton(), Qt::LeftButton);
        QTRY_COMPARE(providers()->statusLabel()->text(), QStringLiteral("Sign-in canceled."));
        QVERIFY(!providers()->cancelButton()->isVisible());
        QCOMPARE(m_auth->storedSession(), std::nullopt);
    }

    void deviceCodeSignInMakesTheAccountDefault()
    {
        QTcpServer otherApp; // holds the callback port
        QVERIFY(otherApp.listen(QHostAddress::LocalHost, 0));
        m_authority.enqueue(
            "POST", "/api/accounts/deviceauth/usercode",
            Response::json(
                200, {{"device_auth_id", "dev-1"}, {"user_code", "KQ7P-3MZD"}, {"interval", "0"}}));
        m_authority.setDefault("POST", "/api/accounts/deviceauth/token", Response::json(403, {}));
        OpenAIProPlusAuthOptions options;
        options.callbackPort = otherApp.serverPort();
        install(options);
        userSettings().setCurrentProvider(provider(openAI));
        QVERIFY(openProviders());
        selectRow(subscription);
        QTest::mouseClick(providers()->connectButton(), Qt::LeftButton);

        QTRY_COMPARE(providers()->statusLabel()->text(),
                     QStringLiteral("OpenAI device login code: KQ7P-3MZD"));
        DeviceCodeView *code = providers()->deviceCodeView();
        QVERIFY(code->isVisible());
        QCOMPARE(code->code(), QStringLiteral("KQ7P-3MZD"));
        QTest::mouseClick(code->copyButton(), Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("KQ7P-3MZD"));
        m_browser->opened.clear();
        QTest::mouseClick(code->openButton(), Qt::LeftButton);
        QCOMPARE(m_browser->opened, QList<QUrl>{m_authority.url("/codex/device")});
        saveScreenshot(controller().window(), QStringLiteral("preferences-device-code-light"));

        m_authority.enqueue("POST", "/api/accounts/deviceauth/token",
                            Response::json(200, {{"authorization_code", "dev-code"},
                                                 {"code_verifier", "dev-verifier"}}));
        m_authority.enqueue(
            "POST", "/oauth/token",
            Response::json(200, tokenReply(QStringLiteral("access"), QStringLiteral("refresh"),
                                           {{"id_token", jwt({{"email", "me@example.com"}})}})));
        QTRY_COMPARE_WITH_TIMEOUT(providers()->accountLabel()->text(),
                                  QStringLiteral("Connected as me@example.com"), 10000);
        m_authority.setDefault("POST", "/api/accounts/deviceauth/token", Response::json(404, {}));
        QVERIFY(providers()->disconnectButton()->isVisible());
        QVERIFY(!providers()->connectButton()->isVisible());
        QVERIFY(!code->isVisible());
        // A fresh sign-in makes the account the default provider.
        QCOMPARE(userSettings().currentProvider()->id(), subscription);
        QCOMPARE(providers()->defaultControl()->text(), QStringLiteral("Default provider"));
        saveScreenshot(controller().window(), QStringLiteral("preferences-account-light"));

        QTest::mouseClick(providers()->disconnectButton(), Qt::LeftButton);
        QTRY_VERIFY(providers()->connectButton()->isVisible());
        QCOMPARE(m_auth->storedSession(), std::nullopt);
        QCOMPARE(providers()->defaultControl()->text(),
                 QStringLiteral("To make this provider default connect the account."));
        QCOMPARE(m_analytics->count(QStringLiteral("Provider.disconnected")), 1);
        QVERIFY(TestSandbox::flushedLog().contains(
            QStringLiteral("[INFO] Disconnected OpenAI Pro/Plus session.")));
    }

    void generalTab()
    {
        m_history.add(QStringLiteral("shorter"));
        controller().show(QStringLiteral("menu_bar"));
        root()->selectTab(PreferencesTab::general);
        GeneralPreferencesView *general = root()->generalView();
        QCheckBox *launch = general->launchAtLoginSwitch();
        QCOMPARE(launch->text(), QStringLiteral("Launch Wrenlark at login"));
        QVERIFY(launch->isChecked());            // the registered default
        QVERIFY(general->findChild<QLabel *>()); // captions exist
        bool captionFound = false;
        bool versionFound = false;
        for (QLabel *label : general->findChildren<QLabel *>()) {
            captionFound |=
                label->text() == QStringLiteral("Start Wrenlark automatically when you log in.");
            versionFound |=
                label->text() == QStringLiteral("Version ") + AppMetadata::versionWithBuild();
        }
        QVERIFY(captionFound);
        QVERIFY(versionFound);

        launch->setFocus();
        QTest::keyClick(launch, Qt::Key_Space);
        QVERIFY(!userSettings().launchAtLoginEnabled());
        QTest::keyClick(launch, Qt::Key_Space);
        QVERIFY(userSettings().launchAtLoginEnabled());
        QCOMPARE(m_loginItems->m_status, LoginItemService::Status::enabled);

        ShortcutRecorder *recorder = general->recorder(GlobalShortcutService::toggleWrenlark);
        QCOMPARE(recorder->accessibleName(), QStringLiteral("Show Wrenlark"));
        QCOMPARE(recorder->portableText(), std::optional<QString>(QStringLiteral("Alt+Space")));
        QVERIFY(general->recorder(GlobalShortcutService::screenSelection));
        saveScreenshot(controller().window(), QStringLiteral("preferences-general-light"));

        // Clearing the recalled instructions removes their file.
        QVERIFY(general->historySwitch()->isChecked());
        QTest::mouseClick(general->clearHistoryButton(), Qt::LeftButton);
        QVERIFY(m_history.entries().isEmpty());
        QVERIFY(!QFile::exists(m_history.filePath()));
        QVERIFY(!general->clearHistoryButton()->isEnabled());

        // A chord another program holds is stored and said at once.
        m_shortcuts->refuse(QStringLiteral("Ctrl+Alt+K"));
        recorder->setFocus();
        QTest::keyClick(recorder, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(m_shortcuts->shortcut(GlobalShortcutService::toggleWrenlark),
                 std::optional<QString>(QStringLiteral("Ctrl+Alt+K")));
        StyledLabel *message = general->shortcutMessage(GlobalShortcutService::toggleWrenlark);
        QVERIFY(message->isVisible());
        QCOMPARE(message->text(), QStringLiteral("Ctrl+Alt+K is used by another program."));

        // The clear button removes it.
        QTest::mouseClick(general->clearButton(GlobalShortcutService::toggleWrenlark),
                          Qt::LeftButton);
        QCOMPARE(m_shortcuts->shortcut(GlobalShortcutService::toggleWrenlark), std::nullopt);
        QVERIFY(!message->isVisible());
        QCOMPARE(recorder->portableText(), std::nullopt);
        saveScreenshot(controller().window(), QStringLiteral("preferences-general-cleared-light"));
    }

    // On GNOME the user may let Wrenlark add the shortcut to GNOME's own
    // keyboard shortcuts, and remove it again; the key follows the recorder.
    void gnomeShortcutWithConsent()
    {
        m_commandKeybinding = std::make_shared<FakeCommandKeybinding>();
        m_keyboardPermission = std::make_shared<GrantedKeyboardPermission>();
        // What the desktop lacks is listed under its own heading.
        m_desktopNotices = {QStringLiteral("Wrenlark can type copy and paste keys into X11 "
                                           "applications only here.")};
        install();
        controller().show(QStringLiteral("menu_bar"));
        root()->selectTab(PreferencesTab::general);
        GeneralPreferencesView *general = root()->generalView();
        QVERIFY(general->desktopShortcut());
        QPushButton *button = general->desktopShortcut()->button();
        QVERIFY(button->isVisible());
        QCOMPARE(button->text(), QStringLiteral("Add to GNOME Shortcuts"));
        QCOMPARE(button->accessibleName(), button->text());
        QVERIFY(
            general->desktopShortcut()->caption()->text().contains(QStringLiteral("Alt+Space")));
        QCOMPARE(m_commandKeybinding->installs, 0); // nothing without the user's word
        const auto labels = general->findChildren<QLabel *>();
        QVERIFY(std::any_of(labels.begin(), labels.end(), [](QLabel *label) {
            return label->isVisible() && label->text() == QStringLiteral("This Desktop");
        }));
        QVERIFY(std::any_of(labels.begin(), labels.end(), [this](QLabel *label) {
            return label->isVisible() && label->accessibleName() == m_desktopNotices.first();
        }));

        // What the desktop granted for typing keys, and taking it back.
        auto *permission = general->findChild<KeyboardPermissionRow *>();
        QVERIFY(permission && permission->isVisible());
        QVERIFY(permission->caption()->text().contains(QStringLiteral("keeps this permission")));
        QCOMPARE(permission->button()->accessibleName(), QStringLiteral("Revoke"));

        button->setFocus();
        QTest::keyClick(button, Qt::Key_Space);
        QCOMPARE(m_commandKeybinding->m_own, std::optional<QString>(QStringLiteral("Alt+Space")));
        QCOMPARE(button->text(), QStringLiteral("Remove from GNOME Shortcuts"));
        QCOMPARE(button->accessibleName(), button->text());
        QCOMPARE(general->desktopShortcut()->caption()->text(),
                 QStringLiteral("GNOME's keyboard shortcuts open Wrenlark with Alt+Space."));
        saveScreenshot(controller().window(), QStringLiteral("preferences-general-gnome-light"));

        ShortcutRecorder *recorder = general->recorder(GlobalShortcutService::toggleWrenlark);
        recorder->setFocus();
        QTest::keyClick(recorder, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(m_commandKeybinding->m_own, std::optional<QString>(QStringLiteral("Ctrl+Alt+K")));

        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(m_commandKeybinding->m_own, std::nullopt);
        QCOMPARE(button->text(), QStringLiteral("Add to GNOME Shortcuts"));

        permission->button()->setFocus();
        QTest::keyClick(permission->button(), Qt::Key_Space);
        QCOMPARE(m_keyboardPermission->grant(), KeyboardControlPermission::Grant::notGranted);
        QVERIFY(permission->caption()->text().contains(QStringLiteral("asks the first time")));
        QVERIFY(!permission->button()->isEnabled());

        // A refusal is said under the button.
        m_commandKeybinding->m_refusal = QStringLiteral("locked");
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(general->desktopShortcut()->message()->isVisible());
        QCOMPARE(general->desktopShortcut()->message()->text(), QStringLiteral("locked"));
        QCOMPARE(button->text(), QStringLiteral("Add to GNOME Shortcuts"));

        // One the user made is reported and left alone.
        m_commandKeybinding->m_refusal.clear();
        m_commandKeybinding->m_usersOwn = QStringLiteral("Super+W");
        controller().window()->hide();
        controller().show(QStringLiteral("menu_bar"));
        QVERIFY(general->desktopShortcut()->caption()->text().contains(QStringLiteral("Super+W")));
        QVERIFY(!button->isVisible());
    }

    // A provider of the user's own added from Settings: its models read from
    // its server, the catalog written, and Wrenlark restarted to read it.
    void aProviderOfYourOwnIsAdded()
    {
        TestHttpServer server;
        server.setDefault(
            "GET", "/v1/models",
            TestHttpServer::Response::body(200, R"({"data":[{"id":"qwen"},{"id":"phi"}]})"));
        install();
        controller().show(QStringLiteral("menu_bar"));
        QVERIFY(openProviders());
        QTest::mouseClick(providers()->addProviderButton(), Qt::LeftButton);
        AddProviderDialog *dialog = providers()->addProviderDialog();
        QVERIFY(dialog);
        QTest::keyClicks(dialog->nameField(), QStringLiteral("Home GPU"));
        QVERIFY(!dialog->addButton()->isEnabled());
        QTest::keyClicks(dialog->addressField(), server.url(QStringLiteral("/v1")).toString());
        QTRY_COMPARE(dialog->modelsField()->text(), QStringLiteral("qwen, phi"));
        saveScreenshot(dialog, QStringLiteral("preferences-add-provider"));
        const int restartsBefore = m_restarts;
        QTest::mouseClick(dialog->addButton(), Qt::LeftButton);
        QCOMPARE(m_restarts, restartsBefore + 1);

        QFile catalog(SharedModelCatalogStore::userCatalogPath());
        QVERIFY(catalog.open(QIODevice::ReadOnly));
        const QJsonObject entry = QJsonDocument::fromJson(catalog.readAll())
                                      .object()
                                      .value("providers")
                                      .toArray()
                                      .last()
                                      .toObject();
        catalog.remove();
        QCOMPARE(entry.value("id").toString(), QStringLiteral("home-gpu"));
        QCOMPARE(entry.value("name").toString(), QStringLiteral("Home GPU"));
        QCOMPARE(entry.value("endpoint").toString(),
                 server.url(QStringLiteral("/v1/chat/completions")).toString());
        QCOMPARE(entry.value("models").toArray().size(), 2);
        QVERIFY(entry.value("keyOptional").toBool());
    }

    void screenshotsInDark()
    {
        usePalette(true);
        install();
        m_shortcuts->refuse(QStringLiteral("Alt+Space"));
        controller().show(QStringLiteral("menu_bar"));
        saveScreenshot(controller().window(), QStringLiteral("preferences-commands-dark"));
        QVERIFY(openProviders());
        selectRow(openAI);
        typeKey(QStringLiteral("sk-dark"));
        saveScreenshot(controller().window(), QStringLiteral("preferences-providers-dark"));
        selectRow(subscription);
        saveScreenshot(controller().window(), QStringLiteral("preferences-account-dark"));
        showLocalServer();
        saveScreenshot(controller().window(), QStringLiteral("preferences-local-dark"));
        root()->selectTab(PreferencesTab::general);
        saveScreenshot(controller().window(), QStringLiteral("preferences-general-dark"));
        usePalette(false);
        root()->selectTab(PreferencesTab::commands);
        saveScreenshot(controller().window(), QStringLiteral("preferences-commands-light"));
        root()->selectTab(PreferencesTab::providers);
        selectRow(openAI);
        saveScreenshot(controller().window(), QStringLiteral("preferences-providers-light"));
    }

    // With the desktop's large text and a high-contrast palette every page
    // can be read whole.
    void largeTextAndHighContrastCutNothing()
    {
        useLargeTextAndHighContrast(1.5);
        install();
        controller().show(QStringLiteral("menu_bar"));
        const auto readWhole = [this](const char *page) {
            QWidget *window = controller().window();
            saveScreenshot(
                window, QStringLiteral("preferences-%1-large-contrast").arg(QLatin1String(page)));
            const QStringList cut = cutTexts(window);
            QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'\n')));
        };
        readWhole("commands");
        QVERIFY(openProviders());
        selectRow(openAI);
        typeKey(QStringLiteral("sk-large"));
        readWhole("providers");
        selectRow(subscription);
        readWhole("account");
        showLocalServer();
        readWhole("local");
        root()->selectTab(PreferencesTab::general);
        readWhole("general");
        usePalette(false);
    }
};

QTEST_MAIN(TestPreferencesWindow)
#include "test_preferenceswindow.moc"
