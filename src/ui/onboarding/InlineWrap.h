#pragma once

#include <QLayout>
#include <QList>
#include <QRect>
#include <QSize>
#include <optional>

// Lays its items out left to right in their order and starts a new line when
// the next one does not fit. Every item keeps its ideal size (its size hint):
// items of one line are top-aligned, a line is as tall as its tallest item,
// and an item wider than the available width stands alone on its line.
class InlineWrap : public QLayout
{
    Q_OBJECT

public:
    // `spacing` between items of a line, `lineSpacing` between lines.
    InlineWrap(int spacing, int lineSpacing, QWidget *parent = nullptr);
    ~InlineWrap() override;

    // The size items of `sizes` need within `availableWidth` (no limit when absent).
    static QSize measure(const QList<QSize> &sizes, std::optional<int> availableWidth, int spacing,
                         int lineSpacing);
    // Where each item of `sizes` goes within `bounds`.
    static QList<QRect> place(const QList<QSize> &sizes, const QRect &bounds, int spacing,
                              int lineSpacing);

    int itemSpacing() const { return m_spacing; }
    int lineSpacing() const { return m_lineSpacing; }

    void addItem(QLayoutItem *item) override;
    int count() const override { return int(m_items.size()); }
    QLayoutItem *itemAt(int index) const override { return m_items.value(index); }
    QLayoutItem *takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    QList<QSize> itemSizes() const;

    QList<QLayoutItem *> m_items;
    int m_spacing;
    int m_lineSpacing;
};
