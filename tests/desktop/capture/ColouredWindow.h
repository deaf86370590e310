#pragma once

#include <QColor>
#include <QList>
#include <QPainter>
#include <QWidget>

// A frameless window painted in blocks of known colours: `rows` of equally
// wide columns, top to bottom, so a capture of it can be checked pixel by
// pixel and in orientation.
class ColouredWindow : public QWidget
{
public:
    explicit ColouredWindow(QList<QList<QColor>> rows)
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
        , m_rows(std::move(rows))
    {
    }

    const QList<QList<QColor>> &rows() const { return m_rows; }
    void setRows(QList<QList<QColor>> rows)
    {
        m_rows = std::move(rows);
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const int rowCount = int(m_rows.size());
        for (int r = 0; r < rowCount; ++r) {
            const int top = r * height() / rowCount;
            const int bottom = (r + 1) * height() / rowCount;
            const QList<QColor> &row = m_rows.at(r);
            const int columnCount = int(row.size());
            for (int c = 0; c < columnCount; ++c) {
                const int left = c * width() / columnCount;
                const int right = (c + 1) * width() / columnCount;
                painter.fillRect(left, top, right - left, bottom - top, row.at(c));
            }
        }
    }

private:
    QList<QList<QColor>> m_rows;
};
