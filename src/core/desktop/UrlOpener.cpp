#include "core/desktop/UrlOpener.h"

#include <QMutex>

namespace {

QMutex openerMutex;
std::shared_ptr<UrlOpener> &openerSlot()
{
    static std::shared_ptr<UrlOpener> opener;
    return opener;
}

} // namespace

void UrlOpener::setDefault(std::shared_ptr<UrlOpener> opener)
{
    QMutexLocker lock(&openerMutex);
    openerSlot() = std::move(opener);
}

std::shared_ptr<UrlOpener> UrlOpener::defaultOpener()
{
    QMutexLocker lock(&openerMutex);
    return openerSlot();
}
