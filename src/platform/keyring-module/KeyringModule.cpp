// The module DeferredSecretStore loads when the command line first reads a
// key: LibsecretSecretStore and, through it, libsecret, GLib and GIO.
#include "platform/headless/LibsecretSecretStore.h"

// DeferredSecretStore::factoryName.
extern "C" Q_DECL_EXPORT SecretStore *wrenlark_create_secret_store()
{
    return new LibsecretSecretStore;
}
