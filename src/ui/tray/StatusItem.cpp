#include "ui/tray/StatusItem.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QSystemTrayIcon>

StatusItem::StatusItem(QObject *parent)
    : QObject(parent)
    , m_menu(std::make_unique<QMenu>())
{
    buildMenu();
}

StatusItem::~StatusItem()
{
    delete m_trayIcon;
}

QIcon StatusItem::trayImage()
{
    QIcon icon(QStringLiteral(":/icons/menubar-icon.svg"));
    if (icon.availableSizes().isEmpty() && icon.pixmap(18, 18).isNull())
        return {};
    // Drawn in one colour; hosts that honour it tint it for their panel.
    icon.setIsMask(true);
    return icon;
}

QAction *StatusItem::addItem(QMenu *menu, const QString &text)
{
    QAction *action = menu->addAction(text);
    // Where a host shows the menu as a widget, its screen-reader name is the
    // visible label.
    action->setToolTip(text);
    return action;
}

void StatusItem::buildMenu()
{
    QAction *settings = addItem(m_menu.get(), settingsText());
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settings, &QAction::triggered, this, &StatusItem::openPreferences);
    QAction *capture = addItem(m_menu.get(), captureText());
    connect(capture, &QAction::triggered, this, &StatusItem::startCapture);
    m_menu->addSeparator();

    m_onboardingItem = addItem(m_menu.get(), completeSetupText());
    connect(m_onboardingItem, &QAction::triggered, this, &StatusItem::openOnboarding);
    m_onboardingSeparator = m_menu->addSeparator();

    QMenu *support = m_menu->addMenu(supportText());
    support->setTitle(supportText());
    for (const QString &subject : {reportBugText(), contactSupportText(), sendFeedbackText()}) {
        QAction *item = addItem(support, subject);
        connect(item, &QAction::triggered, this,
                [this, subject] { Q_EMIT openHelpEmail(subject); });
    }
    m_menu->addSeparator();

    QAction *quit = addItem(m_menu.get(), quitText());
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &StatusItem::quitApp);

    connect(m_menu.get(), &QMenu::aboutToShow, this, &StatusItem::menuWillOpen);
}

void StatusItem::updateOnboardingItemVisibility(bool didCompleteOnboarding)
{
    m_onboardingItem->setVisible(!didCompleteOnboarding);
    m_onboardingSeparator->setVisible(!didCompleteOnboarding);
}

bool StatusItem::onboardingItemsVisible() const
{
    return m_onboardingItem->isVisible() && m_onboardingSeparator->isVisible();
}

void StatusItem::showIcon()
{
    delete m_trayIcon;
    m_trayIcon = new QSystemTrayIcon(this);
    m_trayIcon->setIcon(trayImage());
    m_trayIcon->setToolTip(QStringLiteral("Wrenlark"));
    m_trayIcon->setContextMenu(m_menu.get());
    // A left click shows the menu too: it is the only thing the icon does.
    connect(m_trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger && m_trayIcon)
                    m_menu->popup(m_trayIcon->geometry().bottomLeft());
            });
    m_trayIcon->show();
}
