#include "core/support/ConfigurationFile.h"
#include "ui/tray/StatusItem.h"
#include "ui/tray/SupportEmail.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTest>

namespace {

// The visible entries of a menu, "-" for a separator, "[sub]" after a
// submenu's title, with their key equivalents.
QStringList visibleEntries(const QMenu *menu)
{
    QStringList entries;
    for (const QAction *action : menu->actions()) {
        if (!action->isVisible())
            continue;
        if (action->isSeparator())
            entries << QStringLiteral("-");
        else if (action->menu())
            entries << action->text() + QStringLiteral(" [") +
                           visibleEntries(action->menu()).join(u'|') + u']';
        else if (!action->shortcut().isEmpty())
            entries << action->text() + QStringLiteral(" (") +
                           action->shortcut().toString(QKeySequence::PortableText) + u')';
        else
            entries << action->text();
    }
    return entries;
}

void writeUserFile(const QString &name, const QByteArray &contents)
{
    const QString path = ConfigurationFile::userFilePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
}

} // namespace

class TestStatusItem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Before onboarding is complete "Complete Setup..." shows with its
    // separator; afterwards both are gone, and the menu is the same object
    // changed in place (tray hosts hold on to it).
    void onboardingItemsFollowTheOnboardingFlag()
    {
        StatusItem item;
        QMenu *menu = item.menu();
        item.updateOnboardingItemVisibility(false);
        QCOMPARE(visibleEntries(menu),
                 QStringList({"Settings... (Ctrl+,)", "Ask About Screen Region...", "-",
                              "Complete Setup...", "-",
                              "Support [Report a Bug|Contact Support|Send Feedback]", "-",
                              "Quit Wrenlark (Ctrl+Q)"}));
        QVERIFY(item.onboardingItemsVisible());

        item.updateOnboardingItemVisibility(true);
        QCOMPARE(item.menu(), menu);
        QCOMPARE(visibleEntries(menu),
                 QStringList({"Settings... (Ctrl+,)", "Ask About Screen Region...", "-",
                              "Support [Report a Bug|Contact Support|Send Feedback]", "-",
                              "Quit Wrenlark (Ctrl+Q)"}));
        QVERIFY(!item.onboardingItemsVisible());

        item.showIcon();
        QCOMPARE(item.trayIcon()->contextMenu(), menu);
        QCOMPARE(item.trayIcon()->toolTip(), QStringLiteral("Wrenlark"));
    }

    void itemsSayWhatWasChosen()
    {
        StatusItem item;
        QStringList subjects;
        connect(&item, &StatusItem::openHelpEmail, this, [&](const QString &s) { subjects << s; });
        int quits = 0;
        connect(&item, &StatusItem::quitApp, this, [&] { ++quits; });
        for (QAction *action : item.menu()->actions()) {
            if (action->menu())
                for (QAction *sub : action->menu()->actions())
                    sub->trigger();
            else if (action->text() == StatusItem::quitText())
                action->trigger();
        }
        QCOMPARE(subjects, QStringList({"Report a Bug", "Contact Support", "Send Feedback"}));
        QCOMPARE(quits, 1);
        QVERIFY(!StatusItem::trayImage().isNull());
    }

    // The address is configuration: the built-in one, a user's own, and a
    // user file that would smuggle in more than one address is ignored.
    void helpEmailAddressIsConfiguration()
    {
        QFile::remove(ConfigurationFile::userFilePath(QStringLiteral("support.json")));
        QCOMPARE(SupportEmail::helpUrl(QStringLiteral("Report a Bug")).toString(QUrl::FullyEncoded),
                 QStringLiteral("mailto:support@wrenlark.com?subject=Report%20a%20Bug"));

        writeUserFile(QStringLiteral("support.json"), R"({"supportEmail": "help@example.org"})");
        QCOMPARE(SupportEmail::address(), QStringLiteral("help@example.org"));

        writeUserFile(QStringLiteral("support.json"),
                      R"({"supportEmail": "a@example.org?bcc=b@example.org"})");
        QCOMPARE(SupportEmail::address(), QStringLiteral("support@wrenlark.com"));
        QFile::remove(ConfigurationFile::userFilePath(QStringLiteral("support.json")));
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestStatusItem test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_statusitem.moc"
