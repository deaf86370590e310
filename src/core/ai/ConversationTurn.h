#pragma once

#include <QString>

// One exchange earlier in a bar session: the instruction sent (a saved
// command already resolved) and the reply it got.
struct ConversationTurn
{
    QString instruction;
    QString reply;

    friend bool operator==(const ConversationTurn &, const ConversationTurn &) = default;
};
