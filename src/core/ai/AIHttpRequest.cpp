#include "core/ai/AIHttpRequest.h"

#include "core/support/SecretMemory.h"

AIHttpRequest::~AIHttpRequest()
{
    // Another copy of the list still needs them.
    if (!secrets.isDetached())
        return;
    for (QString &secret : secrets)
        SecretMemory::wipe(secret);
}
