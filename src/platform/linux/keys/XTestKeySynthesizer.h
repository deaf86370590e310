#pragma once

#include "platform/linux/keys/KeySynthesizer.h"
#include "platform/linux/x11/XTestKeyboard.h"

// Keys through the XTest extension (XTestKeyboard): X11 sessions, and X11
// applications under XWayland.
class XTestKeySynthesizer : public KeySynthesizer
{
public:
    // Under XWayland the keys reach X11 windows only.
    explicit XTestKeySynthesizer(X11Desktop &x11, bool x11WindowsOnly = false)
        : m_x11(x11)
        , m_x11WindowsOnly(x11WindowsOnly)
        , m_keyboard(x11)
    {
    }

    bool isAvailable() override;
    bool reaches(qint32 pid) override;
    bool sendChord(const KeyChord &chord, QString *error = nullptr) override;
    QString mechanismDescription() const override;

private:
    X11Desktop &m_x11;
    bool m_x11WindowsOnly;
    XTestKeyboard m_keyboard;
};
