#include "core/support/AppMetadata.h"

#include "core/support/AppMetadataValues.h"

namespace AppMetadata {

QString bundleID()
{
    return QStringLiteral(WRENLARK_BUNDLE_ID);
}

QString applicationID()
{
    return QStringLiteral(WRENLARK_APPLICATION_ID);
}

QString version()
{
    return QStringLiteral(WRENLARK_VERSION);
}

QString build()
{
    return QStringLiteral(WRENLARK_BUILD);
}

QString versionWithBuild()
{
    return version() + u'-' + build();
}

} // namespace AppMetadata
