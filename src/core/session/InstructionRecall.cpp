#include "core/session/InstructionRecall.h"

#include "core/session/InstructionHistory.h"

#include <algorithm>

InstructionRecall::InstructionRecall(const InstructionHistory &history)
    : m_history(history)
{
}

std::optional<QString> InstructionRecall::older(const QString &currentInput)
{
    if (!isWalking()) {
        if (!currentInput.isEmpty() || !m_history.isEnabled())
            return std::nullopt;
        m_entries = m_history.entries();
    }
    if (m_entries.isEmpty())
        return std::nullopt;
    m_position = std::min(m_position + 1, m_entries.size() - 1);
    return m_entries.at(m_position);
}

std::optional<QString> InstructionRecall::newer()
{
    if (!isWalking())
        return std::nullopt;
    if (--m_position < 0)
        return QString();
    return m_entries.at(m_position);
}

void InstructionRecall::reset()
{
    m_position = -1;
    m_entries.clear();
}
