#include "platform/linux/x11/XTestKeyboard.h"

#include "platform/linux/x11/X11Desktop.h"

#include <QGuiApplication>
#include <QStringList>
#include <QTimer>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <vector>

namespace {

// How long a temporarily mapped key code keeps its key: the target reads
// the mapping when it handles the key event, which may be a moment later.
constexpr int temporaryMappingMilliseconds = 200;

bool isLockKey(KeySym keysym)
{
    return keysym == XK_Caps_Lock || keysym == XK_Shift_Lock || keysym == XK_Num_Lock ||
           keysym == XK_Scroll_Lock;
}

void dropKeyboardGrabs(Display *own)
{
    // A global shortcut still held down has turned its passive grab into an
    // active grab on the connection that registered it (Qt's). Drop it there,
    // and wait until the server has done so: requests on different
    // connections are not ordered.
    if (auto *x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        if (Display *qtDisplay = x11->display()) {
            XUngrabKeyboard(qtDisplay, CurrentTime);
            XSync(qtDisplay, False);
        }
    }
    XUngrabKeyboard(own, CurrentTime);
    XSync(own, False);
}

void releaseHeldKeys(Display *display)
{
    char keys[32] = {};
    XQueryKeymap(display, keys);
    for (int code = 8; code < 256; ++code) {
        if (!(keys[code / 8] & (1 << (code % 8))))
            continue;
        if (isLockKey(XkbKeycodeToKeysym(display, KeyCode(code), 0, 0)))
            continue;
        XTestFakeKeyEvent(display, unsigned(code), False, CurrentTime);
    }
}

// A key code without any key on it, for typing a key the layout lacks.
KeyCode spareKeyCode(Display *display)
{
    int minCode = 0;
    int maxCode = 0;
    XDisplayKeycodes(display, &minCode, &maxCode);
    int perCode = 0;
    KeySym *map = XGetKeyboardMapping(display, KeyCode(minCode), maxCode - minCode + 1, &perCode);
    if (!map)
        return 0;
    KeyCode spare = 0;
    for (int code = maxCode; code >= minCode && spare == 0; --code) {
        bool empty = true;
        for (int i = 0; i < perCode; ++i)
            empty = empty && map[(code - minCode) * perCode + i] == NoSymbol;
        if (empty)
            spare = KeyCode(code);
    }
    XFree(map);
    return spare;
}

} // namespace

bool XTestKeyboard::isAvailable()
{
    Display *display = m_x11.display();
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    return display && XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor);
}

bool XTestKeyboard::sendChord(const KeyChord &chord, QString *error)
{
    auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    Display *display = m_x11.display();
    if (!display)
        return fail(QStringLiteral("no X display"));
    if (!isAvailable())
        return fail(QStringLiteral("the X server has no XTest extension"));

    std::vector<KeyCode> modifiers;
    auto addModifier = [&](Qt::KeyboardModifier modifier, KeySym keysym) {
        if (!(chord.modifiers & modifier))
            return true;
        const KeyCode code = XKeysymToKeycode(display, keysym);
        if (code == 0)
            return false;
        modifiers.push_back(code);
        return true;
    };
    if (!addModifier(Qt::ControlModifier, XK_Control_L) ||
        !addModifier(Qt::AltModifier, XK_Alt_L) || !addModifier(Qt::ShiftModifier, XK_Shift_L))
        return fail(QStringLiteral("the keyboard layout has no key for a modifier of %1")
                        .arg(chord.toString()));

    KeyCode key = XKeysymToKeycode(display, KeySym(chord.keysym));
    KeyCode temporary = 0;
    if (key == 0) {
        temporary = spareKeyCode(display);
        if (temporary == 0)
            return fail(
                QStringLiteral("the keyboard layout has no key for %1 and no spare key code")
                    .arg(chord.toString()));
        KeySym syms[2] = {KeySym(chord.keysym), KeySym(chord.keysym)};
        XConvertCase(KeySym(chord.keysym), &syms[0], &syms[1]);
        XChangeKeyboardMapping(display, temporary, 2, syms, 1);
        XSync(display, False);
        key = temporary;
    }

    dropKeyboardGrabs(display);
    releaseHeldKeys(display);
    for (KeyCode code : modifiers)
        XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, key, True, CurrentTime);
    XTestFakeKeyEvent(display, key, False, CurrentTime);
    for (auto it = modifiers.crbegin(); it != modifiers.crend(); ++it)
        XTestFakeKeyEvent(display, *it, False, CurrentTime);
    XSync(display, False);

    if (temporary != 0) {
        QTimer::singleShot(temporaryMappingMilliseconds, [temporary, x11 = &m_x11] {
            Display *d = x11->display();
            KeySym none[2] = {NoSymbol, NoSymbol};
            XChangeKeyboardMapping(d, temporary, 2, none, 1);
            XFlush(d);
        });
    }
    return true;
}
