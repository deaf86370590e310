#include "core/desktop/LoginItemService.h"

#include <QMutex>

namespace {

QMutex serviceMutex;
std::shared_ptr<LoginItemService> &serviceSlot()
{
    static std::shared_ptr<LoginItemService> service;
    return service;
}

} // namespace

void LoginItemService::setDefault(std::shared_ptr<LoginItemService> service)
{
    QMutexLocker lock(&serviceMutex);
    serviceSlot() = std::move(service);
}

std::shared_ptr<LoginItemService> LoginItemService::defaultService()
{
    QMutexLocker lock(&serviceMutex);
    return serviceSlot();
}
