#pragma once

#include <atomic>
#include <memory>

// A cancellation flag shared between an operation's handle (main thread) and
// the code doing the work (any thread). Copies share the flag; the worker
// keeps its copy after the handle is gone.
class CancellationFlag
{
public:
    CancellationFlag()
        : m_flag(std::make_shared<std::atomic_bool>(false))
    {
    }

    void cancel() const { m_flag->store(true); }
    bool isCancelled() const { return m_flag->load(); }

private:
    std::shared_ptr<std::atomic_bool> m_flag;
};
