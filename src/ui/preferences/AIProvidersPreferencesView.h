#pragma once

#include "core/providers/AIProviderRegistry.h"
#include "ui/common/ProviderCredentials.h"
#include "ui/common/ProviderDraft.h"
#include "ui/common/ProviderSetupState.h"
#include "ui/preferences/AddProviderDialog.h"
#include "ui/preferences/PreferencesDependencies.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QUuid>
#include <QWidget>
#include <memory>
#include <optional>

class APIKeyHelpLink;
class DeviceCodeView;
class LocalServerEditor;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class SettingsStore;
class StyledLabel;
class SubscriptionSignIn;

// The AI Providers tab: the providers in registry order with the default one
// marked, and the details of the selected one (its key or account, its model,
// whether it is the default). Edits stay drafts until the provider is saved:
// when another provider is selected, when the window closes and when the tab
// is left. The default provider is stored as soon as it changes.
//
// The keyring is read and written on a worker thread; until the stored keys
// have arrived the key field waits, so nothing typed is overwritten.
class AIProvidersPreferencesView : public QWidget
{
    Q_OBJECT

public:
    explicit AIProvidersPreferencesView(const PreferencesDependencies &dependencies,
                                        QWidget *parent = nullptr);
    ~AIProvidersPreferencesView() override;

    QString currentProviderID() const { return m_currentProviderID; }
    QString selectedProviderID() const { return m_selectedProviderID; }
    ProviderDraft draft(const QString &providerID) const { return m_state.draft(providerID); }
    bool isAuthenticating() const;
    // Whether the stored keys and the account state have been read since the last reload.
    bool isLoaded() const { return m_state.isLoaded(); }

    void selectProvider(const QString &providerID);
    // Stores the draft of the provider shown.
    void saveSelectedProvider();
    // Reads everything afresh (the window was opened again).
    void reload();
    void waitForKeyring() { m_credentials->waitForDone(); }

    QListWidget *providerList() const { return m_list; }
    QPushButton *addProviderButton() const { return m_addProviderButton; }
    // The open "Add Provider" dialog, when there is one.
    AddProviderDialog *addProviderDialog() const { return m_addProviderDialog; }
    QLineEdit *apiKeyField() const { return m_keyField; }
    LocalServerEditor *localServerEditor() const { return m_localServer; }
    StyledLabel *apiKeyMessage() const { return m_keyMessage; }
    QComboBox *modelPicker() const { return m_modelPicker; }
    QLineEdit *customModelField() const { return m_customField; }
    QRadioButton *defaultControl() const { return m_defaultControl; }
    QPushButton *connectButton() const { return m_connectButton; }
    QPushButton *cancelButton() const { return m_cancelButton; }
    QPushButton *disconnectButton() const { return m_disconnectButton; }
    StyledLabel *statusLabel() const { return m_statusLabel; }
    QLabel *accountLabel() const { return m_accountLabel; }
    DeviceCodeView *deviceCodeView() const { return m_deviceCode; }

Q_SIGNALS:
    // The stored state of a provider changed (a save or a sign-in answered).
    void providerStateChanged(const QString &providerID);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void buildList();
    void addProvider();
    QWidget *buildDetails();
    void updateList();
    void showSelectedProvider();
    void updateDetails();
    void updateDefaultControl();
    void fillModelPicker(const AIProvider &provider);

    void keyEdited(const QString &text);
    void modelChosen(int index);
    void customModelEdited(const QString &text);
    void makeSelectedDefault();
    void setCurrentProvider(const QString &providerID);
    void save(const QString &providerID);

    void credentialsLoaded(const QUuid &requestID, const ProviderCredentialSnapshot &snapshot);
    void saved(const ProviderSaveResult &result);

    void connectAccount();
    void signInProgress(const QString &text);
    void signInSucceeded();
    void signInFailed(const QString &message);
    void disconnectAccount();

    AIProviderPointer selectedProvider() const;
    bool missingCredential(const AIProvider &provider) const;
    bool missingModel(const AIProvider &provider) const;

    PreferencesDependencies m_dependencies;
    std::unique_ptr<SettingsStore> m_store;
    const AIProviderRegistry &m_registry;
    ProviderCredentials *m_credentials;
    SubscriptionSignIn *m_signIn;

    QString m_currentProviderID;
    QString m_selectedProviderID;
    ProviderSetupState m_state;
    QHash<QString, QString> m_statusMessages;
    QHash<QString, QString> m_keyMessages;
    bool m_updating = false;

    QListWidget *m_list;
    QLabel *m_title;
    QLabel *m_description;
    QWidget *m_keyGroup;
    LocalServerEditor *m_localServer;
    QPushButton *m_addProviderButton;
    QPointer<AddProviderDialog> m_addProviderDialog;
    QLabel *m_keyLabel;
    QLabel *m_modelLabel;
    QLineEdit *m_keyField;
    StyledLabel *m_keyMessage;
    APIKeyHelpLink *m_helpLink;
    QWidget *m_accountGroup;
    QLabel *m_accountLabel;
    QPushButton *m_connectButton;
    QPushButton *m_cancelButton;
    QPushButton *m_disconnectButton;
    StyledLabel *m_statusLabel;
    DeviceCodeView *m_deviceCode;
    QComboBox *m_modelPicker;
    QLabel *m_customLabel;
    QLineEdit *m_customField;
    QRadioButton *m_defaultControl;
};
