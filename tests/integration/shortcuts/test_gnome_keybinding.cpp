// Adding the shortcut that runs `wrenlark toggle` to GNOME's own keyboard
// shortcuts, through the real GSettings and schemas over a keyfile backend,
// checked with the `gsettings` tool as another program reads it.
#include "core/desktop/GlobalShortcutService.h"
#include "platform/linux/desktops/gnome/GnomeCommandKeybinding.h"
#include "platform/linux/desktops/gnome/GnomeShortcutBackend.h"
#include "platform/linux/shortcuts/ShortcutKey.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString listSchema = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys");
const QString entrySchema =
    QStringLiteral("org.gnome.settings-daemon.plugins.media-keys.custom-keybinding");
const QString folder = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/"
                                      "custom-keybindings/");
const QString terminal = folder + QStringLiteral("custom0/");
const QString usersWrenlark = folder + QStringLiteral("custom1/");

QString gsettings(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("gsettings"), arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return QStringLiteral("gsettings failed: ") +
               QString::fromUtf8(process.readAllStandardError());
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QString list()
{
    return gsettings({QStringLiteral("get"), listSchema, QStringLiteral("custom-keybindings")});
}

QString entry(const QString &path, const QString &key)
{
    return gsettings({QStringLiteral("get"), entrySchema + u':' + path, key});
}

void setEntry(const QString &path, const QString &name, const QString &command,
              const QString &binding)
{
    for (const auto &[key, value] :
         {std::pair{QStringLiteral("name"), name}, std::pair{QStringLiteral("command"), command},
          std::pair{QStringLiteral("binding"), binding}})
        gsettings({QStringLiteral("set"), entrySchema + u':' + path, key, value});
}

QString quotedList(const QStringList &paths)
{
    QStringList quoted;
    for (const QString &path : paths)
        quoted << u'\'' + path + u'\'';
    return u'[' + quoted.join(QStringLiteral(", ")) + u']';
}

} // namespace

class GnomeKeybindingTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_config;

private Q_SLOTS:
    void initTestCase()
    {
        // Before anything in this process asks GLib for the folder.
        qputenv("GSETTINGS_BACKEND", "keyfile");
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        if (!GnomeCommandKeybinding(true, QString()).isAvailable())
            QSKIP("GNOME's media-keys schemas (gnome-settings-daemon-common) are not installed");
        if (gsettings({QStringLiteral("get"), QStringLiteral("org.gnome.desktop.wm.keybindings"),
                       QStringLiteral("activate-window-menu")}) != QLatin1String("['<Alt>space']"))
            QSKIP("GNOME's window manager keybinding schemas (gsettings-desktop-schemas) are "
                  "not installed");
        // The user moved GNOME's window menu off Alt+Space, its default.
        gsettings({QStringLiteral("set"), QStringLiteral("org.gnome.desktop.wm.keybindings"),
                   QStringLiteral("activate-window-menu"), QStringLiteral("['<Alt>F3']")});
        // The user's own shortcuts, one of them already running Wrenlark.
        setEntry(terminal, QStringLiteral("Terminal"), QStringLiteral("foot"),
                 QStringLiteral("<Super>Return"));
        setEntry(usersWrenlark, QStringLiteral("My Wrenlark"),
                 QStringLiteral("/usr/local/bin/wrenlark --toggle"),
                 QStringLiteral("<Primary><Alt>w"));
        gsettings({QStringLiteral("set"), listSchema, QStringLiteral("custom-keybindings"),
                   quotedList({terminal, usersWrenlark})});
        QCOMPARE(list(), quotedList({terminal, usersWrenlark}));
    }

    void addedChangedAndRemovedBesideTheUsersShortcuts()
    {
        GnomeCommandKeybinding keybinding(true, QStringLiteral("wrenlark toggle"));
        // The user's own one is found, and is not ours to change.
        QCOMPARE(keybinding.installedBinding(),
                 std::optional<QString>(QStringLiteral("Ctrl+Alt+W")));
        QVERIFY(!keybinding.isOwnBinding());

        // The key of one of GNOME's own actions would win over the shortcut:
        // refused, with the reason (the user moved the window menu here).
        QString error;
        QVERIFY(!keybinding.install(QStringLiteral("Alt+F3"), &error));
        QVERIFY2(error.contains(QStringLiteral("window menu")), qPrintable(error));
        QCOMPARE(list(), quotedList({terminal, usersWrenlark}));

        QVERIFY2(keybinding.install(QStringLiteral("Alt+Space"), &error), qPrintable(error));
        QVERIFY(keybinding.isOwnBinding());
        QCOMPARE(keybinding.installedBinding(),
                 std::optional<QString>(QStringLiteral("Alt+Space")));
        const QString own = GnomeCommandKeybinding::ownPath;
        QCOMPARE(list(), quotedList({terminal, usersWrenlark, own}));
        QCOMPARE(entry(own, QStringLiteral("name")), QStringLiteral("'Wrenlark'"));
        QCOMPARE(entry(own, QStringLiteral("command")), QStringLiteral("'wrenlark toggle'"));
        QCOMPARE(entry(own, QStringLiteral("binding")), QStringLiteral("'<Alt>space'"));
        QCOMPARE(entry(terminal, QStringLiteral("command")), QStringLiteral("'foot'"));

        // Another key changes the same entry.
        QVERIFY(keybinding.install(QStringLiteral("Ctrl+Alt+K"), &error));
        QCOMPARE(list(), quotedList({terminal, usersWrenlark, own}));
        QCOMPARE(entry(own, QStringLiteral("binding")), QStringLiteral("'<Control><Alt>k'"));

        // A key no shortcut may have is refused and changes nothing.
        QVERIFY(!keybinding.install(QStringLiteral("K"), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(entry(own, QStringLiteral("binding")), QStringLiteral("'<Control><Alt>k'"));

        QVERIFY(keybinding.remove(&error));
        QCOMPARE(list(), quotedList({terminal, usersWrenlark}));
        QCOMPARE(entry(own, QStringLiteral("command")), QStringLiteral("''"));
        QVERIFY(!keybinding.isOwnBinding());
        QCOMPARE(keybinding.installedBinding(),
                 std::optional<QString>(QStringLiteral("Ctrl+Alt+W")));
        QCOMPARE(entry(usersWrenlark, QStringLiteral("command")),
                 QStringLiteral("'/usr/local/bin/wrenlark --toggle'"));
    }

    // A saved command's shortcut is a custom shortcut of its own running
    // `wrenlark run SHORTHAND`, beside the user's; it follows a renamed
    // command, and goes with the command. The bar's own is refused with
    // what to do instead.
    void savedCommandsGetShortcutsOfTheirOwn()
    {
        GnomeShortcutBackend backend;
        const QString name = GlobalShortcutService::commandName(QUuid::createUuid());
        const QString path = GnomeShortcutBackend::entryPath(name);
        backend.setAction(
            name, {QStringLiteral("Run eng"), {QStringLiteral("run"), QStringLiteral("eng")}});
        QCOMPARE(backend.bind(name, ShortcutKey::fromPortableText(QStringLiteral("Ctrl+Alt+E"))),
                 QString());
        QCOMPARE(list(), quotedList({terminal, usersWrenlark, path}));
        QVERIFY2(entry(path, QStringLiteral("command")).contains(QStringLiteral(" run eng")),
                 qPrintable(entry(path, QStringLiteral("command"))));
        QCOMPARE(entry(path, QStringLiteral("binding")), QStringLiteral("'<Control><Alt>e'"));

        backend.setAction(name, {QStringLiteral("Run it all"),
                                 {QStringLiteral("run"), QStringLiteral("it all")}});
        QVERIFY2(entry(path, QStringLiteral("command")).contains(QStringLiteral(" run 'it all'")),
                 qPrintable(entry(path, QStringLiteral("command"))));
        QVERIFY(!backend
                     .bind(GlobalShortcutService::toggleWrenlark,
                           ShortcutKey::fromPortableText(QStringLiteral("Alt+Space")))
                     .isEmpty());

        QCOMPARE(backend.bind(name, std::nullopt), QString());
        QCOMPARE(list(), quotedList({terminal, usersWrenlark}));
    }

    // Outside GNOME its shortcuts would do nothing: nothing is offered or written.
    void elsewhereNothingIsWritten()
    {
        GnomeCommandKeybinding keybinding(false, QStringLiteral("wrenlark toggle"));
        QVERIFY(!keybinding.isAvailable());
        QCOMPARE(keybinding.installedBinding(), std::nullopt);
        QString error;
        QVERIFY(!keybinding.install(QStringLiteral("Alt+Space"), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(list(), quotedList({terminal, usersWrenlark}));
    }

    void commandsAndKeysInGnomesFormat()
    {
        QVERIFY(GnomeCommandKeybinding::runsToggle(QStringLiteral("wrenlark toggle")));
        QVERIFY(
            GnomeCommandKeybinding::runsToggle(QStringLiteral("'/opt/my apps/wrenlark' toggle")));
        QVERIFY(GnomeCommandKeybinding::runsToggle(QStringLiteral("wrenlark --toggle")));
        QVERIFY(!GnomeCommandKeybinding::runsToggle(QStringLiteral("wrenlark quit")));
        QVERIFY(!GnomeCommandKeybinding::runsToggle(QStringLiteral("notwrenlark toggle")));
        QVERIFY(!GnomeCommandKeybinding::runsToggle(QStringLiteral("wrenlark toggle && rm x")));
        QVERIFY(!GnomeCommandKeybinding::runsToggle(QStringLiteral("wrenlark 'toggle")));

        QCOMPARE(GnomeCommandKeybinding::readableAccelerator(QStringLiteral("<Primary><Alt>k")),
                 QStringLiteral("Ctrl+Alt+K"));
        QCOMPARE(GnomeCommandKeybinding::readableAccelerator(QStringLiteral("<Super>Return")),
                 QStringLiteral("Super+Return"));
        QCOMPARE(
            ShortcutKey::fromPortableText(QStringLiteral("Ctrl+Shift+Space"))->gtkAccelerator(),
            QStringLiteral("<Control><Shift>space"));

        // The command it writes runs this very executable.
        const QString command = GnomeCommandKeybinding::commandForThisExecutable();
        QVERIFY(command.endsWith(QStringLiteral(" toggle")));
    }
};

QTEST_GUILESS_MAIN(GnomeKeybindingTest)
#include "test_gnome_keybinding.moc"
