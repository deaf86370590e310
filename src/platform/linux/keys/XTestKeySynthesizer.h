#pragma once

#include "platform/linux/keys/KeySynthesizer.h"

// Keys through the XTest extension (XTestKeyboard): X11 sessions, and X11
// applications under XWayland.
class XTestKeySynthesizer : public KeySynthesizer
{
public:
    bool isAvailable() override;
    bool sendChord(const KeyChord &chord, QString *error = nullptr) override;
    QString mechanismDescription() const override;
};
