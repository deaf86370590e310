#pragma once

#include "core/support/AsyncOperation.h"

#include <QString>

// One interactive sign-in as a window sees it: it ends succeeded, cancelled,
// or failed with a text for the user.
class SignInReply : public AsyncOperation
{
public:
    // What went wrong, for the user; empty unless it failed with a reason.
    virtual QString failureText() const = 0;

protected:
    using AsyncOperation::AsyncOperation;
};
