#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class InstructionHistory;

// Walks the instruction history with Up and Down as a shell does. A view
// replaces its input with what older() and newer() answer, leaves it alone
// when they answer nothing, and calls reset() when the user edits the input
// or the bar opens again:
//
//     Up:    if (auto text = recall.older(input->text())) input->setText(*text);
//     Down:  if (auto text = recall.newer()) input->setText(*text);
//     edit:  recall.reset();
//
// The walk goes over the history as it was when the walk began. The history
// must outlive the recall.
class InstructionRecall
{
public:
    explicit InstructionRecall(const InstructionHistory &history);

    // The next older instruction, the oldest again once there. A walk starts
    // only from an empty input, so Up in typed text does nothing.
    std::optional<QString> older(const QString &currentInput);
    // The next newer instruction; past the newest, an empty input, and the
    // walk ends. Nothing when no walk is under way.
    std::optional<QString> newer();
    void reset();

    bool isWalking() const { return m_position >= 0; }

private:
    const InstructionHistory &m_history;
    QStringList m_entries;
    // Index into m_entries of the instruction shown; -1 when not walking.
    qsizetype m_position = -1;
};
