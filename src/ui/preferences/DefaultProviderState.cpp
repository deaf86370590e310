#include "ui/preferences/DefaultProviderState.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("DefaultProviderState", text);
}

} // namespace

DefaultProviderState DefaultProviderState::of(bool usesSignIn, bool missingCredential,
                                              bool missingModel, bool isCurrentDefault)
{
    if (missingCredential && usesSignIn)
        return {false, missingModel
                           ? tr("To make this provider default connect the account and choose a "
                                "model.")
                           : tr("To make this provider default connect the account.")};
    if (missingCredential)
        return {false, missingModel ? tr("To make this provider default add API key and model.")
                                    : tr("To make this provider default add API key.")};
    if (missingModel)
        return {false, tr("To make this provider default add model.")};
    return {true, isCurrentDefault ? tr("Default provider") : tr("Set as default provider")};
}
