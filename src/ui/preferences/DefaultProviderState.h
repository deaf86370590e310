#pragma once

#include <QString>

// Whether a provider can be made the default one, and the text of the
// control that does it.
struct DefaultProviderState
{
    bool enabled = false;
    QString text;

    // `usesSignIn`: the subscription provider, whose credential is a stored
    // session; `missingCredential`/`missingModel` as the window sees the
    // provider's draft; `isCurrentDefault`: it is the default already.
    static DefaultProviderState of(bool usesSignIn, bool missingCredential, bool missingModel,
                                   bool isCurrentDefault);
};
