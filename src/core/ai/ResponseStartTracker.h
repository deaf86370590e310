#pragma once

#include "core/ai/AIClientError.h"

#include <QString>
#include <optional>

enum class HedgedAttemptRole { primary, hedge };

// How one attempt of a hedged request ended.
struct HedgedAttemptCompletion
{
    enum class Kind { success, failure, skipped };

    Kind kind = Kind::skipped;
    HedgedAttemptRole role = HedgedAttemptRole::primary;
    QString text;                       // success
    std::optional<AIClientError> error; // failure
    bool hedgeLaunched = false;         // failure: was the hedge started by then?

    static HedgedAttemptCompletion success(const QString &text, HedgedAttemptRole role)
    {
        return {Kind::success, role, text, std::nullopt, false};
    }
    static HedgedAttemptCompletion failure(const AIClientError &error, HedgedAttemptRole role,
                                           bool hedgeLaunched)
    {
        return {Kind::failure, role, {}, error, hedgeLaunched};
    }
    static HedgedAttemptCompletion skipped(HedgedAttemptRole role)
    {
        return {Kind::skipped, role, {}, std::nullopt, false};
    }
};

// The shared state of the two attempts of one hedged request. Everything runs
// on the main thread's event loop, so each call is one indivisible
// check-and-set.
class ResponseStartTracker
{
public:
    bool started() const { return m_started; }
    bool hedgeLaunched() const { return m_hedgeLaunched; }
    std::optional<HedgedAttemptRole> streamWinner() const { return m_streamWinner; }

    // An attempt received its first response data. Answers whether that
    // attempt owns the partial-text stream: the first one to get here does.
    bool responseStarted(HedgedAttemptRole role)
    {
        m_started = true;
        if (!m_streamWinner)
            m_streamWinner = role;
        return *m_streamWinner == role;
    }

    // The hedge's wait is over. Answers whether it is to be launched: only
    // when no attempt has received data and it was not launched before.
    bool launchHedge()
    {
        if (m_started || m_hedgeLaunched)
            return false;
        m_hedgeLaunched = true;
        return true;
    }

private:
    bool m_started = false;
    bool m_hedgeLaunched = false;
    std::optional<HedgedAttemptRole> m_streamWinner;
};
