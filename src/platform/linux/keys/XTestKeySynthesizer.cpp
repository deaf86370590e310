#include "platform/linux/keys/XTestKeySynthesizer.h"

#include "platform/linux/x11/XTestKeyboard.h"

bool XTestKeySynthesizer::isAvailable()
{
    return XTestKeyboard::shared().isAvailable();
}

bool XTestKeySynthesizer::sendChord(const KeyChord &chord, QString *error)
{
    return XTestKeyboard::shared().sendChord(chord, error);
}

QString XTestKeySynthesizer::mechanismDescription() const
{
    return QStringLiteral("XTest");
}
