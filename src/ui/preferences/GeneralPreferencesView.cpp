#include "ui/preferences/GeneralPreferencesView.h"

#include "core/desktop/CommandKeybindingService.h"
#include "core/desktop/GlobalShortcutService.h"
#include "core/session/InstructionHistory.h"
#include "core/settings/LaunchAtLoginManager.h"
#include "core/settings/SettingsStore.h"
#include "core/support/AppMetadata.h"
#include "ui/common/DesktopNoticeList.h"
#include "ui/common/DesktopShortcutRow.h"
#include "ui/common/StyledLabel.h"
#include "ui/common/WindowStyle.h"
#include "ui/preferences/KeyboardPermissionRow.h"
#include "ui/preferences/ShortcutRecorder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

QLabel *sectionTitle(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(WindowStyle::headingFont(label->font(), 1.1));
    return label;
}

QFrame *group(QWidget *parent)
{
    auto *frame = new QFrame(parent);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setBackgroundRole(QPalette::Base);
    frame->setAutoFillBackground(true);
    return frame;
}

} // namespace

GeneralPreferencesView::GeneralPreferencesView(const PreferencesDependencies &dependencies,
                                               QWidget *parent)
    : QWidget(parent)
    , m_dependencies(dependencies)
    , m_store(dependencies.makeSettingsStore())
    , m_launchAtLogin(new QCheckBox(tr("Launch Wrenlark at login"), this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(8);

    QFrame *startup = group(this);
    auto *startupLayout = new QVBoxLayout(startup);
    startupLayout->setContentsMargins(14, 12, 14, 12);
    startupLayout->setSpacing(4);
    m_launchAtLogin->setAccessibleName(m_launchAtLogin->text());
    startupLayout->addWidget(m_launchAtLogin);
    auto *launchCaption =
        StyledLabel::caption(tr("Start Wrenlark automatically when you log in."), startup);
    launchCaption->setContentsMargins(24, 0, 0, 0);
    startupLayout->addWidget(launchCaption);
    if (!m_dependencies.loginItems) {
        m_launchAtLogin->setEnabled(false);
        launchCaption->setText(tr("Not available on this desktop."));
    }
    layout->addWidget(startup);
    connect(m_launchAtLogin, &QCheckBox::toggled, this,
            &GeneralPreferencesView::launchAtLoginToggled);

    layout->addSpacing(16);
    layout->addWidget(sectionTitle(tr("Command Bar"), this));
    layout->addWidget(buildRepliesGroup());

    layout->addSpacing(16);
    layout->addWidget(sectionTitle(tr("Keyboard Shortcuts"), this));
    layout->addWidget(
        StyledLabel::caption(tr("Customize global shortcut used to open Wrenlark."), this));
    QFrame *shortcuts = group(this);
    auto *shortcutsLayout = new QVBoxLayout(shortcuts);
    shortcutsLayout->setContentsMargins(14, 8, 14, 8);
    shortcutsLayout->setSpacing(0);
    shortcutsLayout->addWidget(buildShortcutRow(GlobalShortcutService::toggleWrenlark,
                                                tr("Show Wrenlark"),
                                                tr("Open the command bar and focus the input.")));
    auto *line = new QFrame(shortcuts);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    shortcutsLayout->addWidget(line);
    shortcutsLayout->addWidget(
        buildShortcutRow(GlobalShortcutService::screenSelection, tr("Ask About Screen Region"),
                         tr("Select part of the screen and open the command bar with it.")));
    layout->addWidget(shortcuts);
    if (m_dependencies.shortcuts)
        connect(m_dependencies.shortcuts, &GlobalShortcutService::shortcutChanged, this,
                &GeneralPreferencesView::showShortcut);
    if (m_dependencies.commandKeybinding) {
        layout->addSpacing(8);
        m_desktopShortcut = new DesktopShortcutRow(
            *m_dependencies.commandKeybinding, [this] { return toggleShortcutText(); }, this);
        layout->addWidget(m_desktopShortcut);
    }
    if (!m_dependencies.desktopNotices.isEmpty() || m_dependencies.keyboardPermission) {
        layout->addSpacing(16);
        layout->addWidget(sectionTitle(tr("This Desktop"), this));
    }
    if (m_dependencies.keyboardPermission) {
        layout->addWidget(new KeyboardPermissionRow(*m_dependencies.keyboardPermission, this));
        layout->addSpacing(8);
    }
    if (!m_dependencies.desktopNotices.isEmpty())
        layout->addWidget(new DesktopNoticeList(m_dependencies.desktopNotices, this));

    layout->addStretch();
    auto *version = StyledLabel::caption(tr("Version ") + AppMetadata::versionWithBuild(), this);
    version->setAlignment(Qt::AlignHCenter);
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(version);
    reload();
}

GeneralPreferencesView::~GeneralPreferencesView() = default;

// A reply keeps the language of the selected text unless one is chosen
// here; any language can be typed, the list holds the common ones.
QWidget *GeneralPreferencesView::buildRepliesGroup()
{
    QFrame *replies = group(this);
    auto *layout = new QGridLayout(replies);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setHorizontalSpacing(10);
    layout->setVerticalSpacing(2);
    auto *title = new QLabel(tr("Reply language"), replies);
    m_replyLanguage = new QComboBox(replies);
    m_replyLanguage->setEditable(true);
    m_replyLanguage->setInsertPolicy(QComboBox::NoInsert);
    m_replyLanguage->addItem(tr("Same as the selected text"), QString());
    for (const char *language :
         {"Arabic",   "Chinese", "Czech",     "Danish",   "Dutch",      "English",
          "Finnish",  "French",  "German",    "Greek",    "Hindi",      "Italian",
          "Japanese", "Korean",  "Norwegian", "Polish",   "Portuguese", "Russian",
          "Spanish",  "Swedish", "Turkish",   "Ukrainian"})
        m_replyLanguage->addItem(QString::fromLatin1(language), QString::fromLatin1(language));
    m_replyLanguage->setAccessibleName(title->text());
    m_replyLanguage->lineEdit()->setAccessibleName(title->text());
    m_replyLanguage->setMinimumContentsLength(18);
    title->setBuddy(m_replyLanguage);
    layout->addWidget(title, 0, 0);
    layout->addWidget(
        StyledLabel::caption(
            tr("Replies keep the language of the selected text unless you choose one."), replies),
        1, 0);
    layout->addWidget(m_replyLanguage, 0, 1, 2, 1, Qt::AlignVCenter);
    layout->setColumnStretch(0, 1);
    if (m_dependencies.instructionHistory)
        addHistoryRow(layout, replies);
    connect(m_replyLanguage, &QComboBox::activated, this,
            &GeneralPreferencesView::storeReplyLanguage);
    connect(m_replyLanguage->lineEdit(), &QLineEdit::editingFinished, this,
            &GeneralPreferencesView::storeReplyLanguage);
    return replies;
}

// Whether the bar keeps sent instructions for Up and Down, and forgetting
// them.
void GeneralPreferencesView::addHistoryRow(QGridLayout *layout, QWidget *group)
{
    auto *line = new QFrame(group);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line, 2, 0, 1, 2);
    m_keepHistory = new QCheckBox(tr("Remember instructions"), group);
    m_keepHistory->setAccessibleName(m_keepHistory->text());
    m_clearHistory = new QPushButton(tr("Clear History"), group);
    m_clearHistory->setAccessibleName(m_clearHistory->text());
    WindowStyle::makeRoomy(m_clearHistory);
    auto *caption = StyledLabel::caption(
        tr("Up and Down in the empty bar bring back what you sent; never the text or the reply."),
        group);
    caption->setContentsMargins(24, 0, 0, 0);
    layout->addWidget(m_keepHistory, 3, 0);
    layout->addWidget(caption, 4, 0);
    layout->addWidget(m_clearHistory, 3, 1, 2, 1, Qt::AlignVCenter | Qt::AlignRight);
    connect(m_keepHistory, &QCheckBox::toggled, this,
            [this](bool keep) { m_store->setInstructionHistoryEnabled(keep); });
    connect(m_clearHistory, &QPushButton::clicked, this, [this] {
        m_dependencies.instructionHistory->clear();
        m_clearHistory->setEnabled(false);
    });
}

// The first entry, and an emptied field, mean the selection's own language.
void GeneralPreferencesView::storeReplyLanguage()
{
    const QString typed = m_replyLanguage->currentText().trimmed();
    const bool same = typed.isEmpty() || typed == m_replyLanguage->itemText(0);
    m_store->setReplyLanguage(same ? QString() : typed);
    if (same) {
        const QSignalBlocker blocker(m_replyLanguage);
        m_replyLanguage->setCurrentIndex(0);
    }
}

QWidget *GeneralPreferencesView::buildShortcutRow(const QString &name, const QString &title,
                                                  const QString &detail)
{
    auto *row = new QWidget(this);
    auto *layout = new QGridLayout(row);
    layout->setContentsMargins(0, 8, 0, 8);
    layout->setHorizontalSpacing(10);
    layout->setVerticalSpacing(2);
    auto *titleLabel = new QLabel(title, row);
    auto *recorder = new ShortcutRecorder(row);
    recorder->setAccessibleName(title);
    // Its field, which holds the chord a screen reader reads, answers to the same name.
    if (auto *field = recorder->findChild<QLineEdit *>())
        field->setAccessibleName(title);
    recorder->setAccessibleDescription(detail);
    recorder->setFixedWidth(170);
    titleLabel->setBuddy(recorder);
    auto *clear = new QPushButton(tr("Clear"), row);
    clear->setAccessibleName(tr("Clear"));
    WindowStyle::makeRoomy(clear);
    clear->setAccessibleDescription(tr("Remove the shortcut for %1").arg(title));
    auto *message = StyledLabel::message(row);
    layout->addWidget(titleLabel, 0, 0);
    layout->addWidget(StyledLabel::caption(detail, row), 1, 0);
    layout->addWidget(recorder, 0, 1, 2, 1, Qt::AlignVCenter);
    layout->addWidget(clear, 0, 2, 2, 1, Qt::AlignVCenter);
    layout->addWidget(message, 2, 0, 1, 3);
    layout->setColumnStretch(0, 1);

    m_recorders.insert(name, recorder);
    m_clearButtons.insert(name, clear);
    m_messages.insert(name, message);
    const bool available = !m_dependencies.shortcuts.isNull();
    recorder->setEnabled(available);
    clear->setEnabled(available);
    connect(recorder, &ShortcutRecorder::shortcutRecorded, this,
            [this, name](const std::optional<QString> &text) { record(name, text); });
    connect(recorder, &ShortcutRecorder::refused, this,
            [message](const QString &reason) { message->showMessage(reason, true); });
    connect(clear, &QPushButton::clicked, this, [this, name] { record(name, std::nullopt); });
    return row;
}

QString GeneralPreferencesView::toggleShortcutText() const
{
    if (m_dependencies.shortcuts) {
        if (const auto text =
                m_dependencies.shortcuts->shortcut(GlobalShortcutService::toggleWrenlark))
            return *text;
    }
    return QStringLiteral("Alt+Space");
}

void GeneralPreferencesView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        reload();
}

void GeneralPreferencesView::reload()
{
    const QSignalBlocker blocker(m_launchAtLogin);
    m_launchAtLogin->setChecked(m_store->launchAtLoginEnabled());
    if (m_keepHistory) {
        const QSignalBlocker historyBlocker(m_keepHistory);
        m_keepHistory->setChecked(m_store->instructionHistoryEnabled());
        m_clearHistory->setEnabled(!m_dependencies.instructionHistory->entries().isEmpty());
    }
    const QString language = m_store->replyLanguage();
    const QSignalBlocker languageBlocker(m_replyLanguage);
    m_replyLanguage->setCurrentIndex(0);
    if (!language.isEmpty())
        m_replyLanguage->setCurrentText(language);
    for (const QString &name : GlobalShortcutService::names())
        showShortcut(name);
    if (m_desktopShortcut)
        m_desktopShortcut->refresh();
}

void GeneralPreferencesView::launchAtLoginToggled(bool enabled)
{
    if (m_dependencies.loginItems)
        LaunchAtLoginManager::setLaunchAtLoginEnabled(enabled, *m_store, true,
                                                      *m_dependencies.loginItems);
}

void GeneralPreferencesView::record(const QString &name, const std::optional<QString> &portableText)
{
    GlobalShortcutService *shortcuts = m_dependencies.shortcuts;
    if (!shortcuts)
        return;
    if (!shortcuts->setShortcut(name, portableText)) {
        showShortcut(name);
        m_messages.value(name)->showMessage(tr("This shortcut cannot be used. Try another one."),
                                            true);
        return;
    }
    showShortcut(name);
    if (m_desktopShortcut && name == GlobalShortcutService::toggleWrenlark && portableText)
        m_desktopShortcut->followShortcut(*portableText);
}

void GeneralPreferencesView::showShortcut(const QString &name)
{
    ShortcutRecorder *recorder = m_recorders.value(name);
    if (!recorder)
        return;
    GlobalShortcutService *shortcuts = m_dependencies.shortcuts;
    if (!shortcuts) {
        recorder->setPortableText(std::nullopt);
        m_messages.value(name)->showMessage(
            tr("Global shortcuts are not available in this session."), false);
        return;
    }
    recorder->setPortableText(shortcuts->shortcut(name));
    m_clearButtons.value(name)->setEnabled(shortcuts->shortcut(name).has_value());
    m_messages.value(name)->showMessage(shortcuts->registrationError(name), true);
}
