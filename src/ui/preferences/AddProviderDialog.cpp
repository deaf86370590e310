#include "ui/preferences/AddProviderDialog.h"

#include "core/catalog/SharedModelCatalogStore.h"
#include "core/catalog/UserCatalogFile.h"
#include "core/providers/ServerAddress.h"
#include "ui/common/StyledLabel.h"
#include "ui/common/WindowStyle.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int typingPauseMilliseconds = 600;

QLineEdit *field(const QString &name, const QString &placeholder, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setAccessibleName(name);
    edit->setPlaceholderText(placeholder);
    return edit;
}

} // namespace

AddProviderDialog::AddProviderDialog(QWidget *parent)
    : QDialog(parent)
    , m_name(field(tr("Name"), tr("Home GPU"), this))
    , m_address(field(tr("Server Address"), QStringLiteral("https://ai.example.com/v1"), this))
    , m_models(field(tr("Models"), tr("Read from the server, or type them"), this))
    , m_message(StyledLabel::message(this))
    , m_add(new QPushButton(tr("Add and Restart"), this))
    , m_typingPause(new QTimer(this))
    , m_probe(new LocalServerProbe(this))
{
    setWindowTitle(tr("Add Provider"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(StyledLabel::caption(
        tr("Any server or gateway that speaks OpenAI's chat format. Wrenlark restarts to add "
           "it; give its key, if it needs one, in AI Providers afterwards."),
        this));
    auto *form = new QFormLayout;
    form->addRow(WindowStyle::fieldTitle(tr("Name"), this), m_name);
    form->addRow(WindowStyle::fieldTitle(tr("Server Address"), this), m_address);
    form->addRow(WindowStyle::fieldTitle(tr("Models"), this), m_models);
    layout->addLayout(form);
    layout->addWidget(m_message);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    buttons->addButton(m_add, QDialogButtonBox::AcceptRole);
    m_add->setAccessibleName(m_add->text());
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(tr("Cancel"));
    layout->addWidget(buttons);
    setMinimumWidth(480);

    m_typingPause->setSingleShot(true);
    m_typingPause->setInterval(typingPauseMilliseconds);
    connect(m_typingPause, &QTimer::timeout, this, &AddProviderDialog::probe);
    connect(m_address, &QLineEdit::textEdited, this, [this] {
        m_probe->cancel();
        m_typingPause->start();
        updateAddButton();
    });
    connect(m_name, &QLineEdit::textEdited, this, &AddProviderDialog::updateAddButton);
    connect(m_models, &QLineEdit::textEdited, this, &AddProviderDialog::updateAddButton);
    connect(m_probe, &LocalServerProbe::finished, this, &AddProviderDialog::probed);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_add, &QPushButton::clicked, this, &AddProviderDialog::add);
    updateAddButton();
}

void AddProviderDialog::probe()
{
    const ServerAddress::Checked checked = ServerAddress::check(m_address->text());
    if (checked.address.isEmpty()) {
        m_message->showMessage(checked.problem, true);
        return;
    }
    m_message->showMessage(tr("Asking %1 for its models\u2026").arg(checked.address.toString()),
                           false);
    // No key goes to an address that is still being typed.
    m_probeID = m_probe->probe(checked.address, QString());
}

void AddProviderDialog::probed(const QUuid &probeID, const LocalServerProbe::Result &result)
{
    if (probeID != m_probeID)
        return;
    if (result.keyRefused) {
        m_message->showMessage(tr("The server lists its models only with a key: type them."),
                               false);
    } else if (!result.problem.isEmpty()) {
        m_message->showMessage(result.problem, true);
    } else {
        // What the user typed stays; what the server listed before is replaced.
        if (m_models->text().trimmed().isEmpty() || m_models->text() == m_listedModels) {
            m_listedModels = result.models.join(QStringLiteral(", "));
            m_models->setText(m_listedModels);
        }
        m_message->showMessage(
            tr("The server offers %n model(s).", nullptr, int(result.models.size())), false);
    }
    updateAddButton();
}

QStringList AddProviderDialog::models() const
{
    QStringList models;
    for (const QString &model : m_models->text().split(u',')) {
        if (!model.trimmed().isEmpty())
            models.append(model.trimmed());
    }
    return models;
}

void AddProviderDialog::updateAddButton()
{
    m_add->setEnabled(!UserCatalogFile::identifierFor(m_name->text()).isEmpty() &&
                      !ServerAddress::check(m_address->text()).address.isEmpty() &&
                      !models().isEmpty());
}

void AddProviderDialog::add()
{
    const QString name = m_name->text().trimmed();
    const QString id = UserCatalogFile::identifierFor(name);
    const SharedModelCatalogStore &catalog = SharedModelCatalogStore::shared();
    if (catalog.providerIDs().contains(id) && !catalog.isUserProvider(id)) {
        m_message->showMessage(tr("%1 is a built-in provider: choose another name.").arg(name),
                               true);
        return;
    }
    const QUrl address = ServerAddress::check(m_address->text()).address;
    QString problem;
    auto file = UserCatalogFile::open(SharedModelCatalogStore::userCatalogPath(), &problem);
    if (file)
        file->putProvider(id, name, address, models());
    if (!file || !file->save(&problem)) {
        m_message->showMessage(tr("Your model catalog %1 could not be changed: %2.")
                                   .arg(SharedModelCatalogStore::userCatalogPath(), problem),
                               true);
        return;
    }
    m_addedID = id;
    accept();
}
