#include "ui/onboarding/ProvidersStepView.h"

#include "ui/common/APIKeyHelpLink.h"
#include "ui/common/DeviceCodeView.h"
#include "ui/common/LiveRegion.h"
#include "ui/common/LocalServerEditor.h"
#include "ui/common/StyledLabel.h"
#include "ui/common/SymbolView.h"
#include "ui/common/WindowStyle.h"
#include "ui/onboarding/InlineWrap.h"
#include "ui/onboarding/OnboardingProviderSetupModel.h"
#include "ui/onboarding/ProviderChip.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

constexpr int chipSpacing = 8;

} // namespace

ProvidersStepView::ProvidersStepView(OnboardingProviderSetupModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_editors(new QStackedWidget(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(96, 36, 96, 16);
    layout->setSpacing(10);
    auto *heading = new QLabel(tr("AI Providers"), this);
    heading->setFont(WindowStyle::headingFont(heading->font(), 1.55));
    layout->addWidget(heading);
    layout->addWidget(new QLabel(tr("Connect one AI provider before using Wrenlark."), this));
    layout->addSpacing(6);

    auto *chips = new QWidget(this);
    chips->setAccessibleName(tr("AI Providers"));
    auto *wrap = new InlineWrap(chipSpacing, chipSpacing, chips);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    chips->setSizePolicy(policy);
    auto *group = new QButtonGroup(this);
    for (const AIProviderPointer &provider : m_model.providers()) {
        auto *chip = new ProviderChip(provider->id(), provider->displayName(), chips);
        group->addButton(chip);
        wrap->addWidget(chip);
        m_chips.insert(provider->id(), chip);
        const QString id = provider->id();
        // Toggled, not clicked: a screen reader's action and the arrow keys
        // check a chip without clicking it.
        connect(chip, &ProviderChip::toggled, &m_model, [this, id](bool checked) {
            if (checked && m_model.selectedProvider()->id() != id)
                m_model.selectProvider(id);
        });
    }
    layout->addWidget(chips);
    layout->addSpacing(10);

    m_editors->addWidget(buildKeyEditor());
    m_editors->addWidget(buildAccountEditor());
    layout->addWidget(m_editors);
    layout->addStretch();
    m_settingsNote = StyledLabel::caption(
        tr("You can change your AI provider and model anytime in app Settings."), this);
    layout->addWidget(m_settingsNote);

    connect(&m_model, &OnboardingProviderSetupModel::changed, this, &ProvidersStepView::update);
    update();
}

QWidget *ProvidersStepView::buildKeyEditor()
{
    auto *editor = new QWidget(this);
    auto *layout = new QVBoxLayout(editor);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    m_localServer = new LocalServerEditor(m_model.storeFactory(), editor);
    m_keyTitle = WindowStyle::fieldTitle(tr("API Key"), editor);
    m_keyField = new QLineEdit(editor);
    m_keyField->setEchoMode(QLineEdit::Password);
    m_keyField->setPlaceholderText(tr("API key"));
    m_keyField->setAccessibleName(tr("API Key"));
    m_keyField->setClearButtonEnabled(true);
    m_keyTitle->setBuddy(m_keyField);
    m_keyMessage = StyledLabel::message(editor);
    m_helpLink = new APIKeyHelpLink(m_model.browser(), editor);
    m_readyRow = new QWidget(editor);
    auto *ready = new QHBoxLayout(m_readyRow);
    ready->setContentsMargins(0, 4, 0, 0);
    ready->addWidget(new SymbolView(SymbolView::Symbol::checkmark, 16, m_readyRow));
    m_ready =
        new StyledLabel(tr("Provider is ready to use."), StyledLabel::Role::success, m_readyRow);
    LiveRegion::mark(m_ready);
    ready->addWidget(m_ready);
    ready->addStretch();
    layout->addWidget(m_localServer);
    layout->addWidget(m_keyTitle);
    layout->addWidget(m_keyField);
    layout->addWidget(m_keyMessage);
    layout->addWidget(m_helpLink);
    layout->addWidget(m_readyRow);
    layout->addStretch();
    connect(m_keyField, &QLineEdit::textEdited, &m_model,
            &OnboardingProviderSetupModel::updateApiKey);
    connect(m_keyField, &QLineEdit::returnPressed, &m_model,
            &OnboardingProviderSetupModel::saveSelectedProvider);
    connect(m_keyField, &QLineEdit::textEdited, m_localServer, &LocalServerEditor::setApiKey);
    connect(m_localServer, &LocalServerEditor::stored, &m_model,
            &OnboardingProviderSetupModel::reload);
    return editor;
}

QWidget *ProvidersStepView::buildAccountEditor()
{
    auto *editor = new QWidget(this);
    auto *layout = new QVBoxLayout(editor);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(WindowStyle::fieldTitle(tr("Account"), editor));
    m_accountText = new QLabel(editor);
    m_accountText->setWordWrap(true);
    m_accountText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_accountText);
    auto *buttons = new QHBoxLayout;
    m_connect = new QPushButton(editor);
    m_cancel = new QPushButton(tr("Cancel"), editor);
    m_disconnect = new QPushButton(tr("Disconnect"), editor);
    m_cancel->setAccessibleName(m_cancel->text());
    m_disconnect->setAccessibleName(m_disconnect->text());
    m_connect->setText(tr("Connect in Browser"));
    for (QPushButton *button : {m_connect, m_cancel, m_disconnect})
        WindowStyle::makeRoomy(button);
    buttons->addWidget(m_connect);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_disconnect);
    buttons->addStretch();
    layout->addLayout(buttons);
    m_status = StyledLabel::message(editor);
    layout->addWidget(m_status);
    m_deviceCode = new DeviceCodeView(m_model.browser(), editor);
    layout->addWidget(m_deviceCode);
    layout->addStretch();
    connect(m_connect, &QPushButton::clicked, &m_model,
            &OnboardingProviderSetupModel::connectSelectedProvider);
    connect(m_cancel, &QPushButton::clicked, &m_model, &OnboardingProviderSetupModel::cancelSignIn);
    connect(m_disconnect, &QPushButton::clicked, &m_model,
            &OnboardingProviderSetupModel::disconnectSelectedProvider);
    return editor;
}

QWidget *ProvidersStepView::primaryControl() const
{
    if (m_editors->currentIndex() == 0 && m_localServer->isVisibleTo(this))
        return m_localServer->addressField();
    if (m_editors->currentIndex() == 0 && m_keyField->isEnabled())
        return m_keyField;
    return m_chips.value(m_model.selectedProvider()->id());
}

void ProvidersStepView::update()
{
    const AIProviderPointer provider = m_model.selectedProvider();
    if (ProviderChip *chip = m_chips.value(provider->id()))
        chip->setChecked(true);
    const bool signIn = provider->authenticationMode() == ProviderAuthenticationMode::oauth;
    // The editor is brought up to date before it shows, so a screen reader
    // hears only what it then says.
    if (signIn)
        updateAccountEditor();
    else
        updateKeyEditor(*provider);
    m_editors->setCurrentIndex(signIn ? 1 : 0);
}

void ProvidersStepView::updateKeyEditor(const AIProvider &provider)
{
    const QString draft = m_model.draft(provider);
    if (m_keyField->text() != draft)
        m_keyField->setText(draft);
    m_keyField->setEnabled(m_model.isLoaded());
    const bool optional = provider.isKeyOptional();
    m_keyTitle->setText(optional ? tr("API Key (optional)") : tr("API Key"));
    m_keyField->setAccessibleName(m_keyTitle->text());
    m_keyField->setPlaceholderText(!m_model.isLoaded() ? tr("Reading the keyring…")
                                   : optional          ? tr("Only if your server asks for one")
                                                       : tr("API key"));
    m_localServer->setVisible(provider.userChoosesServer());
    // The server's editor needs the room, at large text sizes too.
    m_settingsNote->setVisible(!provider.userChoosesServer());
    if (provider.userChoosesServer() && m_localServerShownFor != provider.id()) {
        m_localServerShownFor = provider.id();
        m_localServer->setApiKey(draft);
        m_localServer->showProvider(m_model.selectedProvider());
    } else if (!provider.userChoosesServer()) {
        m_localServerShownFor.clear();
    }
    m_keyMessage->showMessage(m_model.keyMessage(), true);
    m_helpLink->setProvider(provider);
    m_readyRow->setVisible(m_model.hasValidConfig(provider));
}

void ProvidersStepView::updateAccountEditor()
{
    const std::optional<QString> summary = m_model.connectionSummary();
    const bool authenticating = m_model.isAuthenticating();
    m_accountText->setText(
        summary ? tr("Connected as %1").arg(*summary)
                : tr("Use your existing ChatGPT Pro or Plus subscription in Wrenlark."));
    m_connect->setText(summary ? tr("Reconnect") : tr("Connect in Browser"));
    m_connect->setAccessibleName(m_connect->text());
    m_connect->setEnabled(!authenticating);
    m_cancel->setVisible(authenticating);
    m_disconnect->setVisible(summary.has_value());
    m_status->showMessage(m_model.authStatusMessage().value_or(QString()), false);
    m_deviceCode->setCode(m_model.deviceCode(), m_model.verificationPage());
}
