#include "core/support/AppMetadata.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("wrenlark"));
    QCoreApplication::setApplicationVersion(AppMetadata::versionWithBuild());
    QTextStream(stdout) << "Wrenlark " << AppMetadata::versionWithBuild() << '\n';
    return 0;
}
