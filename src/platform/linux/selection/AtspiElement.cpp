#include "platform/linux/selection/AtspiElement.h"

#include "platform/linux/selection/AtspiWorker.h"

AccessibleElementRef AtspiElement::wrap(AtspiAccessible *accessible, qint32 pid, TextUnit unit,
                                        const QString &descriptor)
{
    g_object_ref(accessible);
    return AccessibleElementRef(new AtspiElement(accessible, pid, unit, descriptor));
}

AtspiElement::AtspiElement(AtspiAccessible *accessible, qint32 pid, TextUnit unit,
                           QString descriptor)
    : m_accessible(accessible)
    , m_pid(pid)
    , m_unit(unit)
    , m_descriptor(std::move(descriptor))
{
}

AtspiElement::~AtspiElement()
{
    AtspiWorker::shared().post([accessible = m_accessible] { g_object_unref(accessible); });
}
