#include "ui/preferences/AIProvidersPreferencesView.h"

#include "core/analytics/AppAnalytics.h"
#include "core/settings/ApiKeyCheck.h"
#include "core/settings/SettingsStore.h"
#include "ui/common/APIKeyHelpLink.h"
#include "ui/common/DeviceCodeView.h"
#include "ui/common/LocalServerEditor.h"
#include "ui/common/StyledLabel.h"
#include "ui/common/SubscriptionSignIn.h"
#include "ui/common/WindowStyle.h"
#include "ui/common/WrappingRadioButton.h"
#include "ui/preferences/AddProviderDialog.h"
#include "ui/preferences/DefaultProviderState.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

const QString location = QStringLiteral("preferences");

bool usesSignIn(const AIProvider &provider)
{
    return provider.authenticationMode() == ProviderAuthenticationMode::oauth;
}

// A radio mark, filled with the accent colour for the default provider and a
// faint ring for the others, drawn for each screen scale.
QIcon radioMark(const QPalette &palette, bool checked)
{
    constexpr int size = 16;
    QIcon icon;
    for (const qreal ratio : {1.0, 1.5, 2.0}) {
        QPixmap pixmap(QSize(size, size) * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF ring(1.5, 1.5, size - 3, size - 3);
        const QColor accent = palette.color(QPalette::Highlight);
        if (checked) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(accent);
            painter.drawEllipse(ring.adjusted(-0.5, -0.5, 0.5, 0.5));
            painter.setBrush(palette.color(QPalette::HighlightedText));
            painter.drawEllipse(ring.center(), 2.6, 2.6);
        } else {
            painter.setPen(QPen(WindowStyle::secondaryText(palette), 1.2));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(ring);
        }
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QString keyringMessage()
{
    return QCoreApplication::translate(
        "AIProvidersPreferencesView",
        "The key could not be stored: the desktop's keyring (Secret Service) is locked or not "
        "running. Unlock it, then press Return in this field to try again.");
}

QString implausibleKeyMessage()
{
    return QCoreApplication::translate(
        "AIProvidersPreferencesView",
        "This key contains blanks, line breaks or other control characters; paste the key alone. "
        "It was not stored.");
}

} // namespace

AIProvidersPreferencesView::AIProvidersPreferencesView(const PreferencesDependencies &dependencies,
                                                       QWidget *parent)
    : QWidget(parent)
    , m_dependencies(dependencies)
    , m_store(dependencies.makeSettingsStore())
    , m_registry(*dependencies.registry)
    , m_credentials(
          new ProviderCredentials(dependencies.makeSettingsStore, *dependencies.registry, this))
    , m_signIn(new SubscriptionSignIn(dependencies.registry->signInAccount(), *dependencies.browser,
                                      this))
    , m_state(*dependencies.registry)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(16);
    buildList();
    auto *listColumn = new QVBoxLayout;
    listColumn->setSpacing(8);
    listColumn->addWidget(m_list, 1);
    m_addProviderButton = new QPushButton(tr("Add Provider\u2026"), this);
    m_addProviderButton->setAccessibleName(m_addProviderButton->text());
    listColumn->addWidget(m_addProviderButton);
    layout->addLayout(listColumn);
    layout->addWidget(buildDetails(), 1);
    connect(m_addProviderButton, &QPushButton::clicked, this,
            &AIProvidersPreferencesView::addProvider);

    connect(m_credentials, &ProviderCredentials::loaded, this,
            &AIProvidersPreferencesView::credentialsLoaded);
    connect(m_credentials, &ProviderCredentials::saved, this, &AIProvidersPreferencesView::saved);
    connect(m_credentials, &ProviderCredentials::sessionDisconnected, this,
            [this] { m_credentials->load(); });
    connect(m_signIn, &SubscriptionSignIn::progress, this,
            &AIProvidersPreferencesView::signInProgress);
    connect(m_signIn, &SubscriptionSignIn::succeeded, this,
            &AIProvidersPreferencesView::signInSucceeded);
    connect(m_signIn, &SubscriptionSignIn::failed, this,
            [this](const QString &message) { signInFailed(message); });
    connect(m_signIn, &SubscriptionSignIn::runningChanged, this,
            &AIProvidersPreferencesView::updateDetails);
    reload();
}

AIProvidersPreferencesView::~AIProvidersPreferencesView() = default;

void AIProvidersPreferencesView::buildList()
{
    m_list = new QListWidget(this);
    m_list->setAccessibleName(tr("Providers"));
    m_list->setIconSize(QSize(16, 16));
    m_list->setSpacing(2);
    int widestName = 0;
    for (const AIProviderPointer &provider : m_registry.providers()) {
        auto *item = new QListWidgetItem(provider->displayName(), m_list);
        item->setData(Qt::UserRole, provider->id());
        item->setSizeHint(QSize(0, 32));
        widestName =
            std::max(widestName, m_list->fontMetrics().horizontalAdvance(provider->displayName()));
    }
    // Wider than usual when the desktop's text is large: no name is cut.
    const int itemChrome =
        m_list->iconSize().width() + 2 * m_list->frameWidth() + 4 * m_list->spacing() + 12;
    m_list->setFixedWidth(std::max(176, widestName + itemChrome));
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_updating || row < 0)
            return;
        selectProvider(m_list->item(row)->data(Qt::UserRole).toString());
    });
    // A screen reader's action selects an item without making it current.
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem *> selected = m_list->selectedItems();
        if (!m_updating && !selected.isEmpty() && selected.first() != m_list->currentItem())
            m_list->setCurrentItem(selected.first());
    });
}

QWidget *AIProvidersPreferencesView::buildDetails()
{
    auto *details = new QWidget(this);
    auto *layout = new QVBoxLayout(details);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->setSpacing(6);

    m_title = new QLabel(details);
    m_title->setFont(WindowStyle::headingFont(m_title->font(), 1.35));
    layout->addWidget(m_title);
    m_description = StyledLabel::caption(
        tr("Use your existing ChatGPT Pro or Plus subscription in Wrenlark."), details);
    m_description->setFont(font());
    layout->addWidget(m_description);
    layout->addSpacing(8);

    // The server of a provider the user points at a server of their own.
    m_localServer = new LocalServerEditor(m_dependencies.makeSettingsStore, details);
    layout->addWidget(m_localServer);
    connect(m_localServer, &LocalServerEditor::stored, m_credentials,
            [this] { m_credentials->load(); });

    // The key of an API-key provider.
    m_keyGroup = new QWidget(details);
    auto *keyLayout = new QVBoxLayout(m_keyGroup);
    keyLayout->setContentsMargins(0, 0, 0, 0);
    keyLayout->setSpacing(6);
    m_keyLabel = WindowStyle::fieldTitle(tr("API Key"), m_keyGroup);
    m_keyField = new QLineEdit(m_keyGroup);
    m_keyField->setEchoMode(QLineEdit::Password);
    m_keyField->setPlaceholderText(tr("API key"));
    m_keyField->setAccessibleName(tr("API Key"));
    m_keyField->setClearButtonEnabled(true);
    m_keyLabel->setBuddy(m_keyField);
    m_keyMessage = StyledLabel::message(m_keyGroup);
    m_helpLink = new APIKeyHelpLink(*m_dependencies.browser, m_keyGroup);
    keyLayout->addWidget(m_keyLabel);
    keyLayout->addWidget(m_keyField);
    keyLayout->addWidget(m_keyMessage);
    keyLayout->addWidget(m_helpLink);
    layout->addWidget(m_keyGroup);
    connect(m_keyField, &QLineEdit::textEdited, this, &AIProvidersPreferencesView::keyEdited);
    connect(m_keyField, &QLineEdit::textEdited, m_localServer, &LocalServerEditor::setApiKey);
    connect(m_keyField, &QLineEdit::returnPressed, this,
            &AIProvidersPreferencesView::saveSelectedProvider);

    // The account of the subscription provider.
    m_accountGroup = new QWidget(details);
    auto *accountLayout = new QVBoxLayout(m_accountGroup);
    accountLayout->setContentsMargins(0, 0, 0, 0);
    accountLayout->setSpacing(8);
    m_accountLabel = new QLabel(m_accountGroup);
    m_accountLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_accountLabel->setWordWrap(true);
    accountLayout->addWidget(m_accountLabel);
    auto *buttons = new QHBoxLayout;
    m_connectButton = new QPushButton(tr("Connect in Browser"), m_accountGroup);
    m_cancelButton = new QPushButton(tr("Cancel"), m_accountGroup);
    m_disconnectButton = new QPushButton(tr("Disconnect"), m_accountGroup);
    for (QPushButton *button : {m_connectButton, m_cancelButton, m_disconnectButton}) {
        button->setAccessibleName(button->text());
        WindowStyle::makeRoomy(button);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    accountLayout->addLayout(buttons);
    m_statusLabel = StyledLabel::message(m_accountGroup);
    accountLayout->addWidget(m_statusLabel);
    m_deviceCode = new DeviceCodeView(*m_dependencies.browser, m_accountGroup);
    accountLayout->addWidget(m_deviceCode);
    layout->addWidget(m_accountGroup);
    connect(m_connectButton, &QPushButton::clicked, this,
            &AIProvidersPreferencesView::connectAccount);
    connect(m_cancelButton, &QPushButton::clicked, m_signIn, &SubscriptionSignIn::cancel);
    connect(m_disconnectButton, &QPushButton::clicked, this,
            &AIProvidersPreferencesView::disconnectAccount);

    // The model.
    layout->addSpacing(10);
    m_modelLabel = WindowStyle::fieldTitle(tr("Model"), details);
    m_modelPicker = new QComboBox(details);
    m_modelPicker->setAccessibleName(tr("Model"));
    m_modelLabel->setBuddy(m_modelPicker);
    m_customLabel = new QLabel(tr("Custom model"), details);
    m_customField = new QLineEdit(details);
    m_customField->setPlaceholderText(tr("Model name"));
    m_customField->setAccessibleName(tr("Custom model"));
    m_customLabel->setBuddy(m_customField);
    layout->addWidget(m_modelLabel);
    layout->addWidget(m_modelPicker);
    layout->addWidget(m_customLabel);
    layout->addWidget(m_customField);
    connect(m_modelPicker, &QComboBox::activated, this, &AIProvidersPreferencesView::modelChosen);
    connect(m_customField, &QLineEdit::textEdited, this,
            &AIProvidersPreferencesView::customModelEdited);
    connect(m_customField, &QLineEdit::returnPressed, this,
            &AIProvidersPreferencesView::saveSelectedProvider);

    layout->addSpacing(14);
    m_defaultControl = new WrappingRadioButton(details);
    m_defaultControl->setAutoExclusive(false);
    layout->addWidget(m_defaultControl);
    // Toggled, not clicked: a screen reader's action toggles it.
    connect(m_defaultControl, &QRadioButton::toggled, this,
            &AIProvidersPreferencesView::makeSelectedDefault);
    layout->addStretch();
    return details;
}

void AIProvidersPreferencesView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        reload();
}

void AIProvidersPreferencesView::hideEvent(QHideEvent *event)
{
    // Leaving the tab (or the window going away) stores what was typed.
    if (!event->spontaneous())
        saveSelectedProvider();
    QWidget::hideEvent(event);
}

void AIProvidersPreferencesView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // The default marks are drawn by the style in the palette's colours.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        updateList();
}

void AIProvidersPreferencesView::reload()
{
    m_currentProviderID = m_store->currentProvider()->id();
    if (!m_registry.provider(m_selectedProviderID))
        m_selectedProviderID = m_currentProviderID;
    m_keyMessages.clear();
    // Queued behind any save still running, so it reads what was just stored.
    m_state.startLoad(m_credentials->load());
    updateList();
    showSelectedProvider();
}

void AIProvidersPreferencesView::credentialsLoaded(const QUuid &requestID,
                                                   const ProviderCredentialSnapshot &snapshot)
{
    if (m_state.apply(requestID, snapshot)) {
        showSelectedProvider();
    } else {
        updateDetails();
    }
    updateList();
}

AIProviderPointer AIProvidersPreferencesView::selectedProvider() const
{
    if (auto provider = m_registry.provider(m_selectedProviderID))
        return provider;
    return m_registry.defaultProvider();
}

void AIProvidersPreferencesView::updateList()
{
    m_updating = true;
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem *item = m_list->item(row);
        const QString id = item->data(Qt::UserRole).toString();
        const bool isDefault = id == m_currentProviderID;
        item->setIcon(radioMark(palette(), isDefault));
        item->setData(Qt::AccessibleTextRole,
                      isDefault ? tr("%1, default provider").arg(item->text()) : item->text());
        if (id == m_selectedProviderID)
            m_list->setCurrentRow(row);
    }
    m_updating = false;
}

void AIProvidersPreferencesView::showSelectedProvider()
{
    const AIProviderPointer provider = selectedProvider();
    m_updating = true;
    m_title->setText(provider->displayName());
    m_helpLink->setProvider(*provider);
    fillModelPicker(*provider);
    m_keyField->setText(m_state.draft(provider->id()).apiKeyDraft);
    m_customField->setText(m_state.draft(provider->id()).customModel);
    m_deviceCode->setCode(QString(), QUrl());
    m_localServer->setVisible(provider->userChoosesServer());
    if (provider->userChoosesServer()) {
        m_localServer->setApiKey(m_state.draft(provider->id()).apiKeyDraft);
        m_localServer->showProvider(provider);
    }
    m_updating = false;
    updateDetails();
}

void AIProvidersPreferencesView::fillModelPicker(const AIProvider &provider)
{
    m_modelPicker->clear();
    QStringList options = provider.modelOptions();
    if (!provider.defaultModel().isEmpty() && !options.contains(provider.defaultModel()))
        options.prepend(provider.defaultModel());
    for (const QString &model : std::as_const(options)) {
        const QString title =
            model == provider.defaultModel() ? model + tr(" (recommended)") : model;
        m_modelPicker->addItem(title, model);
    }
    m_modelPicker->addItem(ProviderDraft::customModelSentinel, ProviderDraft::customModelSentinel);
}

void AIProvidersPreferencesView::updateDetails()
{
    const AIProviderPointer provider = selectedProvider();
    const QString id = provider->id();
    const ProviderDraft draft = m_state.draft(id);
    const bool signIn = usesSignIn(*provider);
    const bool connected = m_state.connectionSummary().has_value();
    const bool authenticating = m_signIn->isRunning();

    m_updating = true;
    m_description->setVisible(signIn);
    m_keyGroup->setVisible(!signIn);
    m_accountGroup->setVisible(signIn);
    m_keyField->setEnabled(m_state.isLoaded());
    const bool optional = provider->isKeyOptional();
    m_keyLabel->setText(optional ? tr("API Key (optional)") : tr("API Key"));
    m_keyField->setAccessibleName(m_keyLabel->text());
    m_keyField->setPlaceholderText(!m_state.isLoaded() ? tr("Reading the keyring…")
                                   : optional          ? tr("Only if your server asks for one")
                                                       : tr("API key"));
    m_keyMessage->showMessage(m_keyMessages.value(id), true);

    m_accountLabel->setText(connected ? tr("Connected as %1").arg(*m_state.connectionSummary())
                                      : QString());
    m_accountLabel->setVisible(connected);
    m_connectButton->setVisible(!connected);
    m_connectButton->setEnabled(!authenticating);
    m_cancelButton->setVisible(authenticating);
    m_disconnectButton->setVisible(connected);
    m_statusLabel->showMessage(m_statusMessages.value(id), false);
    if (!authenticating)
        m_deviceCode->setCode(QString(), QUrl());

    const int index = m_modelPicker->findData(draft.modelSelection);
    m_modelPicker->setCurrentIndex(index);
    m_modelPicker->setEnabled(m_state.isLoaded());
    // A server of the user's own lists its models in its own editor.
    const bool ownServer = provider->userChoosesServer();
    const bool custom = draft.modelSelection == ProviderDraft::customModelSentinel;
    m_modelLabel->setVisible(!ownServer);
    m_modelPicker->setVisible(!ownServer);
    m_customLabel->setVisible(custom && !ownServer);
    m_customField->setVisible(custom && !ownServer);
    m_updating = false;
    updateDefaultControl();
}

bool AIProvidersPreferencesView::missingCredential(const AIProvider &provider) const
{
    if (usesSignIn(provider))
        return !m_state.connectionSummary().has_value();
    if (provider.userChoosesServer())
        return !m_state.hasValidConfig(provider.id());
    return m_state.draft(provider.id()).apiKeyDraft.trimmed().isEmpty();
}

bool AIProvidersPreferencesView::missingModel(const AIProvider &provider) const
{
    if (provider.userChoosesServer())
        return false; // stored as it is chosen
    const ProviderDraft draft = m_state.draft(provider.id());
    if (draft.modelSelection == ProviderDraft::customModelSentinel)
        return draft.customModel.trimmed().isEmpty();
    return draft.modelSelection.trimmed().isEmpty();
}

void AIProvidersPreferencesView::updateDefaultControl()
{
    const AIProviderPointer provider = selectedProvider();
    DefaultProviderState state =
        DefaultProviderState::of(usesSignIn(*provider), missingCredential(*provider),
                                 missingModel(*provider), provider->id() == m_currentProviderID);
    if (provider->userChoosesServer() && missingCredential(*provider))
        state.text = tr("To make this provider default check its server.");
    m_defaultControl->setText(state.text);
    m_defaultControl->setAccessibleName(state.text);
    m_defaultControl->setEnabled(state.enabled && m_state.isLoaded());
    const QSignalBlocker quiet(m_defaultControl);
    m_defaultControl->setChecked(state.enabled && provider->id() == m_currentProviderID);
}

void AIProvidersPreferencesView::selectProvider(const QString &providerID)
{
    if (!m_registry.provider(providerID))
        return;
    if (providerID != m_selectedProviderID) {
        saveSelectedProvider();
        m_selectedProviderID = providerID;
    }
    updateList();
    showSelectedProvider();
}

void AIProvidersPreferencesView::keyEdited(const QString &text)
{
    const QString id = selectedProvider()->id();
    m_state.typeKey(id, text);
    const bool plausible = ApiKeyCheck::isPlausible(text.trimmed());
    m_keyMessages[id] = plausible ? QString() : implausibleKeyMessage();
    m_keyMessage->showMessage(m_keyMessages.value(id), true);
    updateDefaultControl();
}

void AIProvidersPreferencesView::modelChosen(int index)
{
    if (m_updating || index < 0)
        return;
    const QString id = selectedProvider()->id();
    m_state.draftToEdit(id).modelSelection = m_modelPicker->itemData(index).toString();
    updateDetails();
    if (m_customField->isVisible())
        m_customField->setFocus(Qt::OtherFocusReason);
}

void AIProvidersPreferencesView::customModelEdited(const QString &text)
{
    m_state.draftToEdit(selectedProvider()->id()).customModel = text;
    updateDefaultControl();
}

void AIProvidersPreferencesView::makeSelectedDefault()
{
    setCurrentProvider(selectedProvider()->id());
    updateDefaultControl();
}

void AIProvidersPreferencesView::setCurrentProvider(const QString &providerID)
{
    const AIProviderPointer provider = m_registry.provider(providerID);
    if (!provider)
        return;
    const QString previous = m_currentProviderID;
    m_currentProviderID = providerID;
    m_store->setCurrentProvider(*provider);
    if (previous != providerID)
        m_dependencies.analytics->signal(
            QStringLiteral("Provider.selected"),
            {{QStringLiteral("providerID"), providerID}, {QStringLiteral("location"), location}});
    updateList();
}

void AIProvidersPreferencesView::saveSelectedProvider()
{
    save(selectedProvider()->id());
}

void AIProvidersPreferencesView::save(const QString &providerID)
{
    const AIProviderPointer provider = m_registry.provider(providerID);
    // Before the stored values arrived nothing can have been edited.
    if (!provider || !m_state.isLoaded())
        return;
    ProviderDraft &draft = m_state.draftToEdit(providerID);
    ProviderSaveRequest request;
    request.providerID = providerID;
    if (!usesSignIn(*provider)) {
        const QString key = draft.apiKeyDraft.trimmed();
        if (ApiKeyCheck::isPlausible(key)) {
            request.apiKey = key;
            draft.apiKeyDraft = key;
            if (providerID == m_selectedProviderID && m_keyField->text() != key)
                m_keyField->setText(key);
        } else {
            m_keyMessages[providerID] = implausibleKeyMessage();
        }
    }
    if (provider->userChoosesServer()) {
        // Its editor stores the model as it is chosen.
    } else if (draft.modelSelection == ProviderDraft::customModelSentinel) {
        draft.customModel = draft.customModel.trimmed();
        if (providerID == m_selectedProviderID && m_customField->text() != draft.customModel)
            m_customField->setText(draft.customModel);
        request.model = draft.customModel;
    } else {
        request.model = draft.modelSelection.trimmed();
    }
    m_state.startSave(providerID, m_credentials->save(request));
}

void AIProvidersPreferencesView::saved(const ProviderSaveResult &result)
{
    const AIProviderPointer provider = m_registry.provider(result.providerID);
    if (!provider)
        return;
    const bool latest = m_state.applySaved(result);
    if (!result.wasValid && result.isValid)
        m_dependencies.analytics->trackProviderConfigured(result.providerID, location,
                                                          provider->authenticationMode());
    if (latest) {
        const bool implausible =
            !ApiKeyCheck::isPlausible(m_state.draft(result.providerID).apiKeyDraft.trimmed());
        m_keyMessages[result.providerID] = !result.stored ? keyringMessage()
                                           : implausible  ? implausibleKeyMessage()
                                                          : QString();
    }
    if (result.providerID == m_selectedProviderID)
        updateDetails();
    Q_EMIT providerStateChanged(result.providerID);
}

void AIProvidersPreferencesView::addProvider()
{
    saveSelectedProvider();
    auto *dialog = new AddProviderDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this] {
        // The providers are read when Wrenlark starts.
        if (m_dependencies.restartApplication)
            m_dependencies.restartApplication();
    });
    m_addProviderDialog = dialog;
    dialog->open();
}

bool AIProvidersPreferencesView::isAuthenticating() const
{
    return m_signIn->isRunning();
}

void AIProvidersPreferencesView::connectAccount()
{
    const QString id = selectedProvider()->id();
    m_statusMessages.remove(id);
    m_signIn->start();
    updateDetails();
    m_cancelButton->setFocus(Qt::OtherFocusReason);
}

void AIProvidersPreferencesView::signInProgress(const QString &text)
{
    const AIProviderPointer provider = selectedProvider();
    const QString oauthID = usesSignIn(*provider) ? provider->id() : QString();
    for (const AIProviderPointer &each : m_registry.providers()) {
        if (usesSignIn(*each))
            m_statusMessages[each->id()] = text;
    }
    if (!oauthID.isEmpty()) {
        m_statusLabel->showMessage(text, false);
        const QString code = SubscriptionSignIn::deviceCode(text);
        if (!code.isEmpty())
            m_deviceCode->setCode(code, m_signIn->verificationPage());
    }
}

void AIProvidersPreferencesView::signInSucceeded()
{
    for (const AIProviderPointer &provider : m_registry.providers()) {
        if (!usesSignIn(*provider))
            continue;
        m_statusMessages.remove(provider->id());
        // A fresh sign-in makes the account the default.
        setCurrentProvider(provider->id());
        m_dependencies.analytics->trackProviderConfigured(provider->id(), location,
                                                          provider->authenticationMode());
    }
    m_credentials->load();
    updateDetails();
}

void AIProvidersPreferencesView::signInFailed(const QString &message)
{
    for (const AIProviderPointer &provider : m_registry.providers()) {
        if (usesSignIn(*provider))
            m_statusMessages[provider->id()] = message;
    }
    updateDetails();
}

void AIProvidersPreferencesView::disconnectAccount()
{
    m_signIn->abandon();
    const AIProviderPointer provider = selectedProvider();
    m_credentials->disconnectSession();
    m_dependencies.analytics->signal(
        QStringLiteral("Provider.disconnected"),
        {{QStringLiteral("providerID"), provider->id()}, {QStringLiteral("location"), location}});
    m_statusMessages.remove(provider->id());
    updateDetails();
}
