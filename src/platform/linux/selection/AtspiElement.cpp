#include "platform/linux/selection/AtspiElement.h"

#include "platform/linux/selection/AtspiWorker.h"

AccessibleElementRef AtspiElement::wrap(AtspiWorker &worker, AtspiAccessible *accessible,
                                        qint32 pid, TextUnit unit, const QString &descriptor)
{
    g_object_ref(accessible);
    return AccessibleElementRef(new AtspiElement(worker, accessible, pid, unit, descriptor));
}

AtspiElement::AtspiElement(AtspiWorker &worker, AtspiAccessible *accessible, qint32 pid,
                           TextUnit unit, QString descriptor)
    : m_worker(worker)
    , m_accessible(accessible)
    , m_pid(pid)
    , m_unit(unit)
    , m_descriptor(std::move(descriptor))
{
}

AtspiElement::~AtspiElement()
{
    m_worker.post([accessible = m_accessible] { g_object_unref(accessible); });
}
