#pragma once

#include "core/providers/AIProviderRegistry.h"

#include <QString>

class KeychainStore;

// A provider named on the command line: the registered provider with exactly
// that id, or null after printing which ids there are.
AIProviderPointer providerArgument(const QString &id);

// "openai-pro-plus, openai, anthropic, ..." in registry order; with
// `apiKeyOnly`, only the providers that take an API key.
QString providerIDList(bool apiKeyOnly = false);

// A note for messages about missing keys when the keychain's secret store
// does not answer at all (keys then read as missing); empty when it does.
QString secretStoreUnavailableNote(const KeychainStore &keychain);
