#pragma once

#include <QString>
#include <memory>

// An element of another application's accessibility tree, as the core sees
// it: opaque. Only the platform that produced it can read or write through
// it; the core keeps it alive (a retained reference) and compares it.
class AccessibleElement
{
public:
    virtual ~AccessibleElement() = default;

    // Short text for log lines, e.g. "pid=123 role=text subrole=none".
    virtual QString descriptor() const = 0;
};

using AccessibleElementRef = std::shared_ptr<const AccessibleElement>;
