#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <memory>

class QAction;
class QMenu;

// The tray icon and its menu: "Settings...", "Ask About Screen Region...",
// "Complete Setup...", the
// Support submenu and "Quit Wrenlark". The menu is built once and changed in
// place (tray hosts read it over D-Bus and may never see items added while
// it opens). The owner connects the signals and tells it whether onboarding
// is complete.
class StatusItem : public QObject
{
    Q_OBJECT

public:
    // The items' texts, also their accessible names.
    static QString settingsText() { return tr("Settings..."); }
    static QString captureText() { return tr("Ask About Screen Region..."); }
    static QString completeSetupText() { return tr("Complete Setup..."); }
    static QString supportText() { return tr("Support"); }
    static QString reportBugText() { return tr("Report a Bug"); }
    static QString contactSupportText() { return tr("Contact Support"); }
    static QString sendFeedbackText() { return tr("Send Feedback"); }
    static QString quitText() { return tr("Quit Wrenlark"); }

    explicit StatusItem(QObject *parent = nullptr);
    ~StatusItem() override;

    // Hides "Complete Setup..." and its separator exactly when onboarding is
    // complete.
    void updateOnboardingItemVisibility(bool didCompleteOnboarding);
    bool onboardingItemsVisible() const;

    // Makes the tray icon (anew, when there is one), with the same menu. Qt
    // picks the tray protocol once per process, at the first icon: the owner
    // calls this when it knows a tray host is there.
    void showIcon();
    bool isIconShown() const { return m_trayIcon != nullptr; }

    QMenu *menu() const { return m_menu.get(); }
    QSystemTrayIcon *trayIcon() const { return m_trayIcon; }

    // The symbolic tray image; null when the resource is missing.
    static QIcon trayImage();

Q_SIGNALS:
    void openPreferences();
    void openOnboarding();
    void startCapture();
    // `subject` is the item's title.
    void openHelpEmail(const QString &subject);
    void quitApp();
    // The menu is about to open (the owner refreshes what it shows).
    void menuWillOpen();

private:
    void buildMenu();
    QAction *addItem(QMenu *menu, const QString &text);

    std::unique_ptr<QMenu> m_menu;
    QPointer<QSystemTrayIcon> m_trayIcon;
    QAction *m_onboardingItem = nullptr;
    QAction *m_onboardingSeparator = nullptr;
};
