#pragma once

#include <QHash>
#include <QWidget>

class AIProvider;
class APIKeyHelpLink;
class DeviceCodeView;
class LocalServerEditor;
class OnboardingProviderSetupModel;
class ProviderChip;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class StyledLabel;
class SymbolView;

// The last setup step: one chip per provider and the editor of the chosen
// one (its key, or the subscription account; a local server's address and
// model above its optional key).
class ProvidersStepView : public QWidget
{
    Q_OBJECT

public:
    ProvidersStepView(OnboardingProviderSetupModel &model, QWidget *parent = nullptr);

    ProviderChip *chip(const QString &providerID) const { return m_chips.value(providerID); }
    QLineEdit *apiKeyField() const { return m_keyField; }
    LocalServerEditor *localServerEditor() const { return m_localServer; }
    StyledLabel *keyMessage() const { return m_keyMessage; }
    QLabel *readyLabel() const { return m_ready; }
    QLabel *accountText() const { return m_accountText; }
    QPushButton *connectButton() const { return m_connect; }
    QPushButton *cancelButton() const { return m_cancel; }
    QPushButton *disconnectButton() const { return m_disconnect; }
    StyledLabel *statusLabel() const { return m_status; }
    DeviceCodeView *deviceCodeView() const { return m_deviceCode; }
    // The control that should take the focus when the step appears.
    QWidget *primaryControl() const;

private:
    QWidget *buildKeyEditor();
    QWidget *buildAccountEditor();
    void update();
    void updateKeyEditor(const AIProvider &provider);
    void updateAccountEditor();

    OnboardingProviderSetupModel &m_model;
    QHash<QString, ProviderChip *> m_chips;
    QStackedWidget *m_editors;
    LocalServerEditor *m_localServer;
    QString m_localServerShownFor; // the provider the server editor last showed
    QLabel *m_keyTitle;
    QLabel *m_settingsNote;
    QLineEdit *m_keyField;
    StyledLabel *m_keyMessage;
    APIKeyHelpLink *m_helpLink;
    QWidget *m_readyRow;
    QLabel *m_ready;
    QLabel *m_accountText;
    QPushButton *m_connect;
    QPushButton *m_cancel;
    QPushButton *m_disconnect;
    StyledLabel *m_status;
    DeviceCodeView *m_deviceCode;
};
