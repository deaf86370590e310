#pragma once

#include "core/desktop/TextClipboard.h"

#include <QStringList>

// Remembers what was put on it; can refuse writes.
class FakeTextClipboard : public TextClipboard
{
public:
    bool setText(const QString &text) override
    {
        if (m_refuses)
            return false;
        m_writes.append(text);
        return true;
    }

    QString text() const { return m_writes.isEmpty() ? QString() : m_writes.constLast(); }
    const QStringList &writes() const { return m_writes; }
    void setRefuses(bool refuses) { m_refuses = refuses; }

private:
    QStringList m_writes;
    bool m_refuses = false;
};
