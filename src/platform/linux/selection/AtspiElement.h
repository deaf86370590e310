#pragma once

#include "core/desktop/AccessibleElement.h"
#include "platform/linux/selection/TextUnits.h"

#include <atspi/atspi.h>

class AtspiWorker;

// An AT-SPI accessible held for the core. Its reference is dropped on the
// AT-SPI worker thread whichever thread lets go of it last.
class AtspiElement : public AccessibleElement
{
public:
    // Takes a new reference to `accessible`. Worker thread only.
    static AccessibleElementRef wrap(AtspiWorker &worker, AtspiAccessible *accessible, qint32 pid,
                                     TextUnit unit, const QString &descriptor);

    QString descriptor() const override { return m_descriptor; }
    // Worker thread only.
    AtspiAccessible *accessible() const { return m_accessible; }
    qint32 pid() const { return m_pid; }
    TextUnit unit() const { return m_unit; }

    ~AtspiElement() override;

private:
    AtspiElement(AtspiWorker &worker, AtspiAccessible *accessible, qint32 pid, TextUnit unit,
                 QString descriptor);

    AtspiWorker &m_worker;
    AtspiAccessible *m_accessible;
    qint32 m_pid;
    TextUnit m_unit;
    QString m_descriptor;
};
