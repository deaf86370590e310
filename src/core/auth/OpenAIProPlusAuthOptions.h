#pragma once

#include "core/auth/OpenAIProPlusAuthProtocol.h"

// Waits and limits of the subscription sign-in; tests shorten them and move
// the callback port.
struct OpenAIProPlusAuthOptions
{
    quint16 callbackPort = OpenAIProPlusAuthProtocol::callbackPort;
    double callbackTimeoutSeconds = 300;
    // Added to the authority's poll interval between two device polls.
    double devicePollExtraSeconds = 3;
    double requestTimeoutSeconds = 60;
};
