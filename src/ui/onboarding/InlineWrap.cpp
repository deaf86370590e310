#include "ui/onboarding/InlineWrap.h"

#include <QWidget>
#include <algorithm>
#include <limits>

InlineWrap::InlineWrap(int spacing, int lineSpacing, QWidget *parent)
    : QLayout(parent)
    , m_spacing(spacing)
    , m_lineSpacing(lineSpacing)
{
    setContentsMargins(0, 0, 0, 0);
}

InlineWrap::~InlineWrap()
{
    while (QLayoutItem *item = takeAt(0))
        delete item;
}

QSize InlineWrap::measure(const QList<QSize> &sizes, std::optional<int> availableWidth, int spacing,
                          int lineSpacing)
{
    const qint64 available = availableWidth ? *availableWidth : std::numeric_limits<int>::max();
    qint64 x = 0;
    int lineHeight = 0;
    int finishedHeight = 0;
    qint64 widestLine = 0;
    for (const QSize &size : sizes) {
        if (x > 0 && x + size.width() > available) {
            widestLine = std::max(widestLine, x - spacing);
            finishedHeight += lineHeight + lineSpacing;
            x = 0;
            lineHeight = 0;
        }
        x += size.width() + spacing;
        lineHeight = std::max(lineHeight, size.height());
    }
    const qint64 width = std::max(widestLine, std::max<qint64>(0, x - spacing));
    return QSize(int(width), finishedHeight + lineHeight);
}

QList<QRect> InlineWrap::place(const QList<QSize> &sizes, const QRect &bounds, int spacing,
                               int lineSpacing)
{
    const int minX = bounds.x();
    const int maxX = bounds.x() + bounds.width();
    int x = minX;
    int y = bounds.y();
    int lineHeight = 0;
    QList<QRect> frames;
    frames.reserve(sizes.size());
    for (const QSize &size : sizes) {
        if (x > minX && x + size.width() > maxX) {
            x = minX;
            y += lineHeight + lineSpacing;
            lineHeight = 0;
        }
        frames.append(QRect(QPoint(x, y), size));
        x += size.width() + spacing;
        lineHeight = std::max(lineHeight, size.height());
    }
    return frames;
}

void InlineWrap::addItem(QLayoutItem *item)
{
    m_items.append(item);
    invalidate();
}

QLayoutItem *InlineWrap::takeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return nullptr;
    QLayoutItem *item = m_items.takeAt(index);
    invalidate();
    return item;
}

QList<QSize> InlineWrap::itemSizes() const
{
    QList<QSize> sizes;
    for (QLayoutItem *item : m_items) {
        if (!item->isEmpty())
            sizes.append(item->sizeHint());
    }
    return sizes;
}

int InlineWrap::heightForWidth(int width) const
{
    const QMargins margins = contentsMargins();
    const int available = width - margins.left() - margins.right();
    return measure(itemSizes(), available, m_spacing, m_lineSpacing).height() + margins.top() +
           margins.bottom();
}

QSize InlineWrap::sizeHint() const
{
    const QMargins margins = contentsMargins();
    return measure(itemSizes(), std::nullopt, m_spacing, m_lineSpacing) +
           QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

QSize InlineWrap::minimumSize() const
{
    // As narrow as the widest item, which is never shrunk. The height that
    // width needs comes from heightForWidth(); counting it here would make
    // every window as tall as the narrowest layout of its text.
    QSize largest;
    for (const QSize &size : itemSizes())
        largest = largest.expandedTo(size);
    const QMargins margins = contentsMargins();
    return largest + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

void InlineWrap::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    const QRect bounds = rect.marginsRemoved(contentsMargins());
    QList<QLayoutItem *> visible;
    for (QLayoutItem *item : m_items) {
        if (!item->isEmpty())
            visible.append(item);
    }
    const QList<QRect> frames = place(itemSizes(), bounds, m_spacing, m_lineSpacing);
    for (qsizetype i = 0; i < visible.size(); ++i)
        visible[i]->setGeometry(frames[i]);
}
