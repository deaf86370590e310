// The key presses that type a chord as the compositor's own keyboard: the
// keys are found by what they mean in the user's layout, modifiers go down
// before the key and up after it in reverse, and a chord the layout cannot
// type is refused with the reason.
#include "platform/linux/keys/XkbKeyboard.h"

#include <QTest>

namespace {

// evdev key codes
constexpr quint32 leftCtrl = 29, leftShift = 42, keyQ = 16, keyY = 21, keyC = 46, keyV = 47,
                  insert = 110;
// The modifier bits of XKB's standard keymaps
constexpr quint32 shiftMask = 1, controlMask = 4;

using Step = XkbKeyboard::Step;

std::unique_ptr<XkbKeyboard> keyboard(const QString &layout)
{
    XkbKeyboard::Names names;
    names.rules = QStringLiteral("evdev");
    names.layout = layout;
    return XkbKeyboard::compile(names);
}

} // namespace

class XkbKeyboardTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void chordsPressModifiersAroundTheKey()
    {
        const auto us = keyboard(QStringLiteral("us"));
        QVERIFY(us);
        const auto paste = us->plan({Qt::ControlModifier, 'v'});
        QVERIFY(paste);
        QCOMPARE(paste->layout, 0u);
        const QList<Step> pasteSteps{{leftCtrl, true, controlMask, true},
                                     {keyV, true, controlMask, false},
                                     {keyV, false, controlMask, false},
                                     {leftCtrl, false, 0, true}};
        QCOMPARE(paste->steps, pasteSteps);

        // A terminal's copy: both modifiers stay down across the key and
        // come up in reverse, leaving none.
        const auto terminalCopy = us->plan({Qt::ControlModifier | Qt::ShiftModifier, 'c'});
        QVERIFY(terminalCopy);
        const QList<Step> copySteps{{leftCtrl, true, controlMask, true},
                                    {leftShift, true, controlMask | shiftMask, true},
                                    {keyC, true, controlMask | shiftMask, false},
                                    {keyC, false, controlMask | shiftMask, false},
                                    {leftShift, false, controlMask, true},
                                    {leftCtrl, false, 0, true}};
        QCOMPARE(terminalCopy->steps, copySteps);

        const auto shiftInsert = us->plan({Qt::ShiftModifier, KeySyms::insert});
        QVERIFY(shiftInsert);
        QCOMPARE(shiftInsert->steps.size(), 4);
        QCOMPARE(shiftInsert->steps.at(1).key, insert);
        QCOMPARE(shiftInsert->steps.at(1).modifiersDepressed, shiftMask);

        // The keymap handed to the compositor is text, without the NUL
        // the protocol adds.
        const QByteArray text = us->text();
        QVERIFY(text.startsWith("xkb_keymap"));
        QVERIFY(!text.contains('\0'));
    }

    // The letter is found where the layout puts it: on AZERTY, "a" is the
    // key QWERTY calls Q; on QWERTZ, "z" sits where QWERTY has Y.
    void keysAreFoundWhereTheLayoutPutsThem()
    {
        const auto french = keyboard(QStringLiteral("fr"));
        QVERIFY(french);
        QCOMPARE(french->plan({Qt::ControlModifier, 'a'})->steps.at(1).key, keyQ);
        const auto german = keyboard(QStringLiteral("de"));
        QVERIFY(german);
        QCOMPARE(german->plan({Qt::ControlModifier, 'z'})->steps.at(1).key, keyY);
    }

    // A Cyrillic layout with a Latin one second: the chord is typed in the
    // Latin group, and the modifiers are that group's.
    void aLatinKeyIsTypedInTheLayoutThatHasIt()
    {
        const auto russianFirst = keyboard(QStringLiteral("ru,us"));
        QVERIFY(russianFirst);
        const auto paste = russianFirst->plan({Qt::ControlModifier, 'v'});
        QVERIFY(paste);
        QCOMPARE(paste->layout, 1u);
        QCOMPARE(paste->steps.at(0), (Step{leftCtrl, true, controlMask, true}));
        QCOMPARE(paste->steps.at(1).key, keyV);
    }

    void whatCannotBeTypedIsRefusedWithTheReason()
    {
        const auto russian = keyboard(QStringLiteral("ru"));
        QVERIFY(russian);
        QString error;
        QVERIFY(!russian->plan({Qt::ControlModifier, 'v'}, &error));
        QVERIFY2(error.contains(QStringLiteral("Russian")) &&
                     error.contains(QStringLiteral("Ctrl+V")),
                 qPrintable(error));

        QVERIFY(!keyboard(QStringLiteral("us"))->plan({{}, 0x6d1}, &error)); // Cyrillic_ya
        QVERIFY2(error.contains(QStringLiteral("cannot be typed")), qPrintable(error));

        XkbKeyboard::Names unknown;
        unknown.layout = QStringLiteral("no-such-layout");
        QVERIFY(!XkbKeyboard::compile(unknown, &error));
        QVERIFY2(error.contains(QStringLiteral("no-such-layout")), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(XkbKeyboardTest)
#include "test_xkb_keyboard.moc"
