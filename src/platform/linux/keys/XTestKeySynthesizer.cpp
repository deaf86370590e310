#include "platform/linux/keys/XTestKeySynthesizer.h"

#include "platform/linux/x11/X11Desktop.h"
#include "platform/linux/x11/XTestKeyboard.h"

#include <QCoreApplication>

bool XTestKeySynthesizer::isAvailable()
{
    return m_keyboard.isAvailable();
}

bool XTestKeySynthesizer::reaches(qint32 pid)
{
    return !m_x11WindowsOnly || (pid != 0 && m_x11.topWindowOfProcess(pid) != 0);
}

bool XTestKeySynthesizer::sendChord(const KeyChord &chord, QString *error)
{
    QString detail;
    if (m_keyboard.sendChord(chord, &detail))
        return true;
    if (error)
        *error = QCoreApplication::translate("XTestKeySynthesizer",
                                             "Wrenlark cannot type keys here (%1).")
                     .arg(detail);
    return false;
}

QString XTestKeySynthesizer::mechanismDescription() const
{
    return QStringLiteral("XTest");
}
