#pragma once

#include <QString>

// One Markdown heading line of a reply: its level (1 to 6) and its text
// without the markers.
struct HeadingSegment
{
    int level = 1;
    QString rawText;

    bool operator==(const HeadingSegment &other) const = default;
};
