#pragma once

#include "platform/linux/keys/KeyChord.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

struct xkb_context;
struct xkb_keymap;

// A compiled XKB keymap, and the key presses that type a chord on it: what
// a program that is its own keyboard (the virtual-keyboard protocol) hands
// the compositor. Keys are found by their keysym on the first shift level,
// so the chord means the same key whatever the layout.
class XkbKeyboard
{
    Q_DECLARE_TR_FUNCTIONS(XkbKeyboard)

public:
    // XKB names; empty ones take XKB_DEFAULT_RULES, _MODEL, _LAYOUT,
    // _VARIANT and _OPTIONS, else the system default ("us").
    struct Names
    {
        QString rules, model, layout, variant, options;
    };
    // One press or release (an evdev key code), and the modifier state it
    // leaves, as the compositor's keyboard should report it.
    struct Step
    {
        quint32 key = 0;
        bool pressed = false;
        quint32 modifiersDepressed = 0;
        bool modifiersChanged = false;
        friend bool operator==(const Step &, const Step &) = default;
    };
    struct Plan
    {
        // The layout (XKB group) the key was found in.
        quint32 layout = 0;
        QList<Step> steps;
    };

    // Nothing, with `error` for the user, when XKB cannot compile the names.
    static std::unique_ptr<XkbKeyboard> compile(const Names &names, QString *error = nullptr);
    ~XkbKeyboard();
    XkbKeyboard(const XkbKeyboard &) = delete;
    XkbKeyboard &operator=(const XkbKeyboard &) = delete;

    // The keymap in the text format (XKB_KEYMAP_FORMAT_TEXT_V1), without
    // a terminating NUL.
    QByteArray text() const;
    QString layoutNames() const;
    // Modifiers down in order, the key down and up, modifiers up in
    // reverse; nothing, with `error`, when the keymap lacks a key of it.
    std::optional<Plan> plan(const KeyChord &chord, QString *error = nullptr) const;

private:
    struct KeyLocation
    {
        quint32 keycode = 0; // XKB key code: evdev + 8
        quint32 layout = 0;
    };

    XkbKeyboard(xkb_context *context, xkb_keymap *keymap);
    std::optional<KeyLocation> find(quint32 keysym, std::optional<quint32> preferredLayout) const;

    xkb_context *m_context;
    xkb_keymap *m_keymap;
};
