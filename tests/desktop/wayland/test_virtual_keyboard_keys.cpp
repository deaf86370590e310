// Copy and paste keys through sway's virtual keyboard: they reach Wayland
// windows, which XTest under XWayland never does, and XWayland ones alike;
// exactly the chord is typed, in the user's layout, with no modifier left
// down after it; a chord the layout cannot type is refused and types
// nothing.
#include "SwayTree.h"
#include "TestEditor.h"
#include "WaylandClipboard.h"
#include "platform/linux/keys/VirtualKeyboardKeys.h"

#include <QTest>

using SwayTree::focusedPid;

namespace {

const KeyChord paste{Qt::ControlModifier, KeySyms::v};

KeyChord plainKey(char32_t keysym)
{
    return {{}, quint32(keysym)};
}

} // namespace

class VirtualKeyboardKeysTest : public QObject
{
    Q_OBJECT

    // One keyboard for the whole test, as the resident application keeps
    // one for its life.
    std::unique_ptr<VirtualKeyboardKeys> m_keys = std::make_unique<VirtualKeyboardKeys>();

private Q_SLOTS:
    void init()
    {
        if (qEnvironmentVariable("WRENLARK_WAYLAND_SESSION") != QLatin1String("1"))
            QSKIP("needs the Wayland desktop: run under tests/support/wayland-session");
        QVERIFY(VirtualKeyboardKeys::isOffered());
    }

    void pastesIntoWaylandAndX11Windows_data()
    {
        QTest::addColumn<QString>("platform");
        QTest::newRow("Wayland client") << QStringLiteral("wayland");
        QTest::newRow("XWayland client") << QStringLiteral("xcb");
    }

    void pastesIntoWaylandAndX11Windows()
    {
        QFETCH(QString, platform);
        TestEditor editor;
        QVERIFY(editor.start(QStringLiteral("keep old keep"), QStringLiteral("Editor"), platform));
        QTRY_COMPARE_WITH_TIMEOUT(focusedPid(), editor.pid(), 10000);
        QCOMPARE(editor.ask(QStringLiteral("select old")), QStringLiteral("selected 5 8"));
        WaylandClipboard::setText(QStringLiteral("NEW"));
        QTRY_COMPARE_WITH_TIMEOUT(WaylandClipboard::text(), QStringLiteral("NEW"), 5000);

        VirtualKeyboardKeys &keys = *m_keys;
        QVERIFY(keys.isAvailable());
        QString error;
        QVERIFY2(keys.sendChord(paste, &error), qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(editor.documentText(), QStringLiteral("keep NEW keep"), 5000);
        // Ctrl is up again: a plain x is typed, not a cut.
        QVERIFY2(keys.sendChord(plainKey('x'), &error), qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(editor.documentText(), QStringLiteral("keep NEWx keep"), 5000);
        QVERIFY(keys.lastError().isEmpty());
    }

    // The keys are found in the user's layout, and the window reads them
    // with it: on AZERTY the "a" key is QWERTY's Q.
    void typesInTheUsersLayout()
    {
        qputenv("XKB_DEFAULT_LAYOUT", "fr");
        const auto restore = qScopeGuard([] { qunsetenv("XKB_DEFAULT_LAYOUT"); });
        TestEditor editor;
        QVERIFY(editor.start({}, QStringLiteral("Editor"), QStringLiteral("wayland")));
        QTRY_COMPARE_WITH_TIMEOUT(focusedPid(), editor.pid(), 10000);
        VirtualKeyboardKeys keys;
        for (const char32_t letter : {U'a', U'z', U'q'})
            QVERIFY(keys.sendChord(plainKey(letter)));
        QTRY_COMPARE_WITH_TIMEOUT(editor.documentText(), QStringLiteral("azq"), 5000);
    }

    void whatTheLayoutCannotTypeIsRefused()
    {
        qputenv("XKB_DEFAULT_LAYOUT", "ru");
        const auto restore = qScopeGuard([] { qunsetenv("XKB_DEFAULT_LAYOUT"); });
        TestEditor editor;
        QVERIFY(editor.start(QStringLiteral("untouched"), QStringLiteral("Editor")));
        QTRY_COMPARE_WITH_TIMEOUT(focusedPid(), editor.pid(), 10000);
        QCOMPARE(editor.ask(QStringLiteral("select untouched")), QStringLiteral("selected 0 9"));
        WaylandClipboard::setText(QStringLiteral("pasted"));

        VirtualKeyboardKeys keys;
        QString error;
        QVERIFY(!keys.sendChord(paste, &error));
        QVERIFY2(error.contains(QStringLiteral("Ctrl+V")), qPrintable(error));
        QCOMPARE(keys.lastError(), error);
        // The keyboard still types what the layout has; the selection it
        // replaces was not pasted over before.
        QVERIFY(keys.sendChord(plainKey(0x6d1))); // Cyrillic_ya
        QTRY_COMPARE_WITH_TIMEOUT(editor.documentText(), QStringLiteral("я"), 5000);
        QVERIFY(keys.lastError().isEmpty());
    }
};

QTEST_GUILESS_MAIN(VirtualKeyboardKeysTest)
#include "test_virtual_keyboard_keys.moc"
