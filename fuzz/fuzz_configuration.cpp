// The configuration files a user (or anyone who can write them) provides:
// the model catalog, the sign-in and analytics files, and the settings file's
// screen that runs before QSettings reads it.
#include "core/analytics/AnalyticsDeliveryOptions.h"
#include "core/auth/OpenAIProPlusAuthConfiguration.h"
#include "core/catalog/SharedModelCatalogStore.h"
#include "core/settings/SettingsFileScreen.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), qsizetype(size));
    QString problem;
    SharedModelCatalogStore::fromJson(json, &problem);
    OpenAIProPlusAuthConfiguration::fromJson(json, &problem);
    AnalyticsDeliveryOptions::endpointFromJson(json, &problem);
    QByteArray removed;
    SettingsFileScreen::withoutUnsafeLines(json, &removed);
    return 0;
}
