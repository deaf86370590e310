#include "core/settings/SettingsKeys.h"
#include "core/settings/UserDefaults.h"
#include "platform/linux/shortcuts/FirstRunShortcut.h"
#include "platform/linux/shortcuts/SettingsGlobalShortcutService.h"
#include "platform/linux/shortcuts/ShortcutKey.h"
#include "support/FakeCommandKeybinding.h"
#include "support/TestSandbox.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A desktop that refuses the keys it is told to refuse and presses on
// demand.
class ScriptedBackend : public ShortcutBackend
{
public:
    QString mechanismDescription() const override { return QStringLiteral("scripted"); }
    QString bind(const QString &name, const std::optional<ShortcutKey> &key) override
    {
        if (!key) {
            bound.remove(name);
            return {};
        }
        if (refusedKeys.contains(key->portableText()))
            return QStringLiteral("%1 is used by another program.").arg(key->portableText());
        bound.insert(name, key->portableText());
        return {};
    }
    void press(const QString &name) { Q_EMIT pressed(name, 42); }

    QStringList refusedKeys;
    QHash<QString, QString> bound;
};

const QString &toggle = GlobalShortcutService::toggleWrenlark;

} // namespace

class TestGlobalShortcuts : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_file;
    ScriptedBackend *m_backend = nullptr;
    QStringList m_notifications;

    std::unique_ptr<SettingsGlobalShortcutService> makeService(QStringList refused = {})
    {
        auto backend = std::make_unique<ScriptedBackend>();
        backend->refusedKeys = refused;
        m_backend = backend.get();
        return std::make_unique<SettingsGlobalShortcutService>(
            std::move(backend), m_file,
            [this](const QString &summary, const QString &) { m_notifications << summary; });
    }

private Q_SLOTS:
    void init()
    {
        m_file =
            m_dir.filePath(QStringLiteral("Wrenlark-%1.conf").arg(QTest::currentTestFunction()));
        m_notifications.clear();
    }

    void parsesPortableText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical");
        QTest::addColumn<QString>("trigger");
        QTest::newRow("Alt+Space") << "Alt+Space"
                                   << "Alt+Space"
                                   << "ALT+space";
        QTest::newRow("lower case") << "alt+space"
                                    << "Alt+Space"
                                    << "ALT+space";
        QTest::newRow("letter") << "Ctrl+Shift+K"
                                << "Ctrl+Shift+K"
                                << "CTRL+SHIFT+k";
        QTest::newRow("super") << "Meta+F12"
                               << "Meta+F12"
                               << "LOGO+F12";
        QTest::newRow("function key alone") << "F9"
                                            << "F9"
                                            << "F9";
        QTest::newRow("punctuation") << "Ctrl+Alt+,"
                                     << "Ctrl+Alt+,"
                                     << "CTRL+ALT+comma";
    }
    void parsesPortableText()
    {
        QFETCH(QString, text);
        QFETCH(QString, canonical);
        QFETCH(QString, trigger);
        const auto key = ShortcutKey::fromPortableText(text);
        QVERIFY(key);
        QCOMPARE(key->portableText(), canonical);
        QCOMPARE(key->freedesktopTrigger(), trigger);
    }

    void refusesWhatIsNoShortcut_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("garbage") << "+++x";
        QTest::newRow("modifiers only") << "Ctrl+Alt";
        QTest::newRow("plain letter") << "A";
        QTest::newRow("plain space") << "Space";
        QTest::newRow("shift and letter") << "Shift+A";
        QTest::newRow("sequence") << "Ctrl+A, Ctrl+B";
        QTest::newRow("unknown key name") << "Alt+Frobnicate";
    }
    void refusesWhatIsNoShortcut()
    {
        QFETCH(QString, text);
        QString problem;
        QVERIFY(!ShortcutKey::fromPortableText(text, &problem));
        QVERIFY(!problem.isEmpty());
    }

    // The first launch sets Alt+Space once, or the first free alternative
    // where the desktop keeps Alt+Space; a cleared shortcut stays cleared at
    // every later launch, and a choice survives a restart.
    void firstRunDefaultAndPersistence()
    {
        FakeCommandKeybinding gnome;
        QCOMPARE(FirstRunShortcut::toggleDefaultFor(&gnome), QStringLiteral("Alt+Space"));
        gnome.m_desktopKeys.insert(QStringLiteral("Alt+Space"), QStringLiteral("Window menu"));
        gnome.m_desktopKeys.insert(QStringLiteral("Ctrl+Alt+Space"), QStringLiteral("Launcher"));
        QCOMPARE(FirstRunShortcut::toggleDefaultFor(&gnome), QStringLiteral("Super+Alt+Space"));

        {
            auto service = makeService();
            QCOMPARE(service->shortcut(toggle), std::nullopt);
            UserDefaults settings(m_file);
            FirstRunShortcut::apply(*service, settings);
            QCOMPARE(service->shortcut(toggle), QStringLiteral("Alt+Space"));
            QCOMPARE(m_backend->bound.value(toggle), QStringLiteral("Alt+Space"));
            QVERIFY(settings.boolValue(SettingsKeys::keyboardShortcutsInitialized.name));

            QVERIFY(service->setShortcut(toggle, std::nullopt));
            QVERIFY(m_backend->bound.isEmpty());
        }
        {
            auto service = makeService();
            UserDefaults settings(m_file);
            FirstRunShortcut::apply(*service, settings);
            QCOMPARE(service->shortcut(toggle), std::nullopt);
            QVERIFY(service->setShortcut(toggle, QStringLiteral("ctrl+alt+w")));
        }
        auto service = makeService();
        QCOMPARE(service->shortcut(toggle), QStringLiteral("Ctrl+Alt+W"));
        QCOMPARE(m_backend->bound.value(toggle), QStringLiteral("Ctrl+Alt+W"));
    }

    // A value the user's file holds that names no shortcut is reported and
    // ignored; neither the file nor the first-run default replaces it.
    void garbageStoredValueIsIgnoredNotReplaced()
    {
        const QString key = SettingsGlobalShortcutService::settingsKey(toggle);
        UserDefaults(m_file).setValue(key, QStringLiteral("Alt+Frobnicate+"));
        auto service = makeService();
        QCOMPARE(service->shortcut(toggle), std::nullopt);
        QVERIFY(!service->registrationError(toggle).isEmpty());
        QVERIFY(m_backend->bound.isEmpty());
        UserDefaults settings(m_file);
        FirstRunShortcut::apply(*service, settings);
        QCOMPARE(service->shortcut(toggle), std::nullopt);
        QCOMPARE(settings.string(key), QStringLiteral("Alt+Frobnicate+"));
        QVERIFY(TestSandbox::flushedLog().contains(QStringLiteral("Ignoring the stored shortcut")));

        // An unusable new choice leaves everything as it was.
        QVERIFY(!service->setShortcut(toggle, QStringLiteral("Q")));
        QVERIFY(!service->setShortcut(QStringLiteral("noSuchName"), QStringLiteral("Alt+Q")));
        QCOMPARE(settings.string(key), QStringLiteral("Alt+Frobnicate+"));
    }

    // A key the desktop refuses stays the user's choice and is reported:
    // the error, one notification, the log; a later change clears it.
    void refusedShortcutIsReported()
    {
        UserDefaults(m_file).setValue(SettingsGlobalShortcutService::settingsKey(toggle),
                                      QStringLiteral("Alt+Space"));
        auto service = makeService({QStringLiteral("Alt+Space")});
        QCOMPARE(service->shortcut(toggle), QStringLiteral("Alt+Space"));
        QCOMPARE(service->registrationError(toggle),
                 QStringLiteral("Alt+Space is used by another program."));
        QCOMPARE(m_notifications.size(), 1);
        QVERIFY(m_notifications.first().contains(QStringLiteral("Alt+Space")));
        QVERIFY(TestSandbox::flushedLog().contains(QStringLiteral("ERROR")));

        QSignalSpy changed(service.get(), &GlobalShortcutService::shortcutChanged);
        QVERIFY(service->setShortcut(toggle, QStringLiteral("Ctrl+Alt+Space")));
        QCOMPARE(service->registrationError(toggle), QString());
        QCOMPARE(changed.size(), 1);
    }

    void pressesReachActivatedOnlyForSetShortcuts()
    {
        auto service = makeService();
        QVERIFY(service->setShortcut(toggle, QStringLiteral("Alt+Space")));
        QSignalSpy activated(service.get(), &GlobalShortcutService::activated);
        m_backend->press(toggle);
        m_backend->press(toggle);
        m_backend->press(GlobalShortcutService::screenSelection);
        QCOMPARE(activated.size(), 2);
        QCOMPARE(activated.first().at(1).toUInt(), 42u);
    }

    // Saved commands' shortcuts beside the bar's: a key already taken by
    // another of ours is said and not grabbed twice; one the desktop refuses
    // leaves the others working; a removed command lets its key go.
    void commandShortcutsBesideTheBars()
    {
        auto service = makeService({QStringLiteral("Ctrl+Alt+X")});
        QVERIFY(service->setShortcut(toggle, QStringLiteral("Alt+Space")));
        const QUuid eng = QUuid::createUuid(), gram = QUuid::createUuid(),
                    fix = QUuid::createUuid(), plain = QUuid::createUuid();
        const QString engName = GlobalShortcutService::commandName(eng);
        QCOMPARE(GlobalShortcutService::commandId(engName), eng);
        QVERIFY(GlobalShortcutService::commandId(toggle).isNull());
        service->setCommandShortcuts({{eng, QStringLiteral("eng"), QStringLiteral("Ctrl+Alt+E")},
                                      {gram, QStringLiteral("gram"), QStringLiteral("Alt+Space")},
                                      {fix, QStringLiteral("fix"), QStringLiteral("Ctrl+Alt+X")},
                                      {plain, QStringLiteral("plain"), QString()}});
        QCOMPARE(m_backend->bound.value(engName), QStringLiteral("Ctrl+Alt+E"));
        QCOMPARE(m_backend->bound.value(toggle), QStringLiteral("Alt+Space"));
        QCOMPARE(service->registrationError(GlobalShortcutService::commandName(gram)),
                 QStringLiteral("Alt+Space already opens the command bar."));
        QVERIFY(!m_backend->bound.contains(GlobalShortcutService::commandName(gram)));
        QCOMPARE(service->registrationError(GlobalShortcutService::commandName(fix)),
                 QStringLiteral("Ctrl+Alt+X is used by another program."));
        QCOMPARE(m_notifications.size(), 0);
        QVERIFY(!m_backend->bound.contains(GlobalShortcutService::commandName(plain)));

        QSignalSpy activated(service.get(), &GlobalShortcutService::activated);
        m_backend->press(toggle);
        m_backend->press(engName);
        QCOMPARE(activated.size(), 2);
        QCOMPARE(activated.last().first().toString(), engName);

        // The same key on another command is refused by name; when the holder
        // goes, the next registration gives it to the one that asked.
        const QUuid again = QUuid::createUuid();
        service->setCommandShortcuts(
            {{eng, QStringLiteral("eng"), QStringLiteral("Ctrl+Alt+E")},
             {again, QStringLiteral("again"), QStringLiteral("Ctrl+Alt+E")}});
        QCOMPARE(service->registrationError(GlobalShortcutService::commandName(again)),
                 QStringLiteral("Ctrl+Alt+E already runs the command \"eng\"."));
        service->setCommandShortcuts(
            {{again, QStringLiteral("again"), QStringLiteral("Ctrl+Alt+E")}});
        QVERIFY(!m_backend->bound.contains(engName));
        QCOMPARE(m_backend->bound.value(GlobalShortcutService::commandName(again)),
                 QStringLiteral("Ctrl+Alt+E"));
        QCOMPARE(service->registrationError(GlobalShortcutService::commandName(again)), QString());
        QCOMPARE(m_backend->action(GlobalShortcutService::commandName(again)).arguments,
                 QStringList({QStringLiteral("run"), QStringLiteral("again")}));
        service->setCommandShortcuts({});
        QCOMPARE(m_backend->bound.keys(), QStringList{toggle});
    }
};

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    TestGlobalShortcuts test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_globalshortcuts.moc"
