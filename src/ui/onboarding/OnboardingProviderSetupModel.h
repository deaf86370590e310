#pragma once

#include "core/providers/AIProviderRegistry.h"
#include "ui/common/ProviderCredentials.h"
#include "ui/common/ProviderDraft.h"
#include "ui/common/ProviderSetupState.h"
#include "ui/common/WindowDependencies.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QUuid>
#include <memory>
#include <optional>
#include <vector>

class AppAnalytics;
class SettingsStore;
class SubscriptionSignIn;
class UrlOpener;

// The provider step of the setup window: which provider is chosen, the key
// typed for each (stored in the keyring as it is typed), and the
// subscription sign-in. The keyring answers on a worker thread; changed()
// tells the view to show the new state.
class OnboardingProviderSetupModel : public QObject
{
    Q_OBJECT

public:
    static inline const QString location = QStringLiteral("onboarding");

    explicit OnboardingProviderSetupModel(const WindowDependencies &dependencies,
                                          QObject *parent = nullptr);
    ~OnboardingProviderSetupModel() override;

    const std::vector<AIProviderPointer> &providers() const { return m_registry.providers(); }
    QString selectedProviderID() const { return m_selectedProviderID; }
    // The selected provider, or the registry's default when none is.
    AIProviderPointer selectedProvider() const;
    QString draft(const AIProvider &provider) const;
    bool isAuthenticating() const;
    std::optional<QString> authStatusMessage() const { return m_authStatusMessage; }
    // A message under the key field: a refused key or a keyring that could not store it.
    QString keyMessage() const { return m_keyMessage; }
    // The device login code of a running device sign-in; empty otherwise.
    QString deviceCode() const { return m_deviceCode; }
    QUrl verificationPage() const;
    std::optional<QString> connectionSummary() const { return m_state.connectionSummary(); }
    // As last read from the keyring; false until it answered.
    bool hasValidConfig(const AIProvider &provider) const;
    bool isLoaded() const { return m_state.isLoaded(); }
    // Opens the pages the step links to.
    UrlOpener &browser() const { return m_browser; }
    // New stores over the settings this model writes.
    const std::function<std::unique_ptr<SettingsStore>()> &storeFactory() const
    {
        return m_makeStore;
    }

    void selectProvider(const QString &providerID);
    // Every edit of the key field.
    void updateApiKey(const QString &text);
    void saveSelectedProvider();
    void connectSelectedProvider();
    void cancelSignIn();
    void disconnectSelectedProvider();
    // Reads the keys and the account state again.
    void reload();
    void waitForKeyring() { m_credentials->waitForDone(); }

Q_SIGNALS:
    void changed();

private:
    void loaded(const QUuid &requestID, const ProviderCredentialSnapshot &snapshot);
    void saved(const ProviderSaveResult &result);
    void signInProgress(const QString &text);
    void signInSucceeded();
    void signInFailed(const QString &message);
    void refreshAccount();
    void writeCurrentProvider(const AIProvider &provider);

    std::function<std::unique_ptr<SettingsStore>()> m_makeStore;
    std::unique_ptr<SettingsStore> m_settingsStore;
    const AIProviderRegistry &m_registry;
    AppAnalytics &m_analytics;
    ProviderCredentials *m_credentials;
    UrlOpener &m_browser;
    SubscriptionSignIn *m_signIn;

    QString m_selectedProviderID;
    ProviderSetupState m_state;
    std::optional<QString> m_authStatusMessage;
    QString m_keyMessage;
    QString m_deviceCode;
};
