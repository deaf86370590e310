#include "ui/common/LocalServerEditor.h"

#include "core/providers/ServerAddress.h"
#include "core/settings/SettingsStore.h"
#include "ui/common/StyledLabel.h"
#include "ui/common/WindowStyle.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

// Long enough that an address is not asked for at every typed character.
constexpr int typingPauseMilliseconds = 600;

} // namespace

QList<LocalServerEditor::Preset> LocalServerEditor::presets()
{
    return {{QStringLiteral("Ollama"), QStringLiteral("http://127.0.0.1:11434/v1")},
            {QStringLiteral("llama.cpp"), QStringLiteral("http://127.0.0.1:8080/v1")},
            {QStringLiteral("LM Studio"), QStringLiteral("http://127.0.0.1:1234/v1")},
            {QStringLiteral("vLLM"), QStringLiteral("http://127.0.0.1:8000/v1")}};
}

LocalServerEditor::LocalServerEditor(StoreFactory makeStore, QWidget *parent)
    : QWidget(parent)
    , m_makeStore(std::move(makeStore))
    , m_address(new QLineEdit(this))
    , m_check(new QPushButton(tr("Check"), this))
    , m_model(new QComboBox(this))
    , m_message(StyledLabel::message(this))
    , m_typingPause(new QTimer(this))
    , m_probe(new LocalServerProbe(this))
{
    // Titles beside their fields: the editor sits above a key field in
    // windows of a fixed size, so it takes few rows.
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(10);
    layout->setVerticalSpacing(6);

    QLabel *addressTitle = WindowStyle::fieldTitle(tr("Server Address"), this);
    addressTitle->setBuddy(m_address);
    m_address->setAccessibleName(tr("Server Address"));
    m_address->setPlaceholderText(presets().constFirst().address);
    m_check->setAccessibleName(m_check->text());
    auto *addressRow = new QHBoxLayout;
    addressRow->addWidget(m_address, 1);
    addressRow->addWidget(m_check);

    auto *presetRow = new QHBoxLayout;
    for (const Preset &preset : presets()) {
        auto *button = new QPushButton(preset.name, this);
        button->setAccessibleName(preset.name);
        button->setToolTip(preset.address);
        button->setAccessibleDescription(preset.address);
        connect(button, &QPushButton::clicked, this, [this, address = preset.address] {
            m_address->setText(address);
            probe(false);
        });
        presetRow->addWidget(button);
    }
    presetRow->addStretch();

    QLabel *modelTitle = WindowStyle::fieldTitle(tr("Model"), this);
    modelTitle->setBuddy(m_model);
    m_model->setEditable(true);
    m_model->setInsertPolicy(QComboBox::NoInsert);
    m_model->setAccessibleName(tr("Model"));
    // The field inside takes the focus, so a screen reader names it too.
    m_model->lineEdit()->setAccessibleName(tr("Model"));

    layout->addWidget(addressTitle, 0, 0);
    layout->addLayout(addressRow, 0, 1);
    layout->addLayout(presetRow, 1, 1);
    layout->addWidget(modelTitle, 2, 0);
    layout->addWidget(m_model, 2, 1);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(m_message, 3, 0, 1, 2);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(4, 1);

    m_typingPause->setSingleShot(true);
    m_typingPause->setInterval(typingPauseMilliseconds);
    connect(m_typingPause, &QTimer::timeout, this, [this] { probe(false, false); });
    connect(m_address, &QLineEdit::textEdited, this, &LocalServerEditor::addressEdited);
    connect(m_address, &QLineEdit::returnPressed, this, [this] { probe(false); });
    connect(m_check, &QPushButton::clicked, this, &LocalServerEditor::check);
    connect(m_model, &QComboBox::activated, this, &LocalServerEditor::modelChosen);
    connect(m_model->lineEdit(), &QLineEdit::editingFinished, this,
            &LocalServerEditor::modelChosen);
    connect(m_probe, &LocalServerProbe::finished, this, &LocalServerEditor::probed);
}

LocalServerEditor::~LocalServerEditor() = default;

void LocalServerEditor::showProvider(const AIProviderPointer &provider)
{
    m_provider = provider;
    const std::unique_ptr<SettingsStore> store = m_makeStore();
    const QUrl stored = store->serverAddress(*provider);
    m_address->setText((stored.isEmpty() ? provider->suggestedServerAddress() : stored).toString());
    m_model->clear();
    m_model->setEditText(store->model(*provider));
    say(QString(), false);
    probe(false);
}

void LocalServerEditor::say(const QString &text, bool isError)
{
    m_message->showMessage(text, isError);
    fitMessage();
}

// The windows hold this editor in a stack of pages, which gives it the room
// of its size hint only: a message wrapped over more lines asks for it.
void LocalServerEditor::fitMessage()
{
    // The message spans the editor's whole width.
    m_message->setMinimumHeight(m_message->text().isEmpty() ? 0
                                                            : m_message->heightForWidth(width()));
}

void LocalServerEditor::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitMessage();
}

void LocalServerEditor::setApiKey(const QString &key)
{
    m_apiKey = key.trimmed();
}

void LocalServerEditor::check()
{
    probe(true);
}

void LocalServerEditor::addressEdited()
{
    m_probe->cancel();
    m_typingPause->start();
}

void LocalServerEditor::probe(bool checkModel, bool sendKey)
{
    m_typingPause->stop();
    if (!m_provider)
        return;
    const ServerAddress::Checked checked = ServerAddress::check(m_address->text());
    if (checked.address.isEmpty()) {
        m_probe->cancel();
        say(checked.problem, true);
        return;
    }
    m_probedAddress = checked.address;
    say(tr("Asking %1 for its models\u2026").arg(checked.address.toString()), false);
    m_probeID = m_probe->probe(checked.address, sendKey ? m_apiKey : QString(),
                               checkModel ? m_model->currentText() : QString());
    m_probeSentKey = sendKey && !m_apiKey.isEmpty();
}

void LocalServerEditor::probed(const QUuid &probeID, const LocalServerProbe::Result &result)
{
    if (probeID != m_probeID)
        return;
    showModels(result.models, result.problem.isEmpty());
    if (result.keyRefused && !m_probeSentKey && !m_apiKey.isEmpty()) {
        say(tr("The server asks for a key: press Check to send yours."), true);
        return;
    }
    if (!result.problem.isEmpty()) {
        say(result.problem, true);
        return;
    }
    const std::unique_ptr<SettingsStore> store = m_makeStore();
    store->setServerAddress(m_probedAddress, *m_provider);
    store->setModel(m_model->currentText().trimmed(), *m_provider);
    say(tr("The server answers and offers %n model(s).", nullptr, int(result.models.size())),
        false);
    Q_EMIT stored();
}

void LocalServerEditor::showModels(const QStringList &models, bool usable)
{
    const QString chosen = m_model->currentText().trimmed();
    m_model->clear();
    m_model->addItems(models);
    const int index = int(models.indexOf(chosen));
    // Once the server is usable, a model it does not offer gives way to one
    // it does; until then what the user typed stays to be corrected.
    if (index >= 0 || (usable && !models.isEmpty()))
        m_model->setCurrentIndex(std::max(0, index));
    else
        m_model->setEditText(chosen);
}

void LocalServerEditor::modelChosen()
{
    const QString model = m_model->currentText().trimmed();
    if (!m_provider || model.isEmpty())
        return;
    const std::unique_ptr<SettingsStore> store = m_makeStore();
    if (store->model(*m_provider) == model)
        return;
    store->setModel(model, *m_provider);
    Q_EMIT stored();
}
