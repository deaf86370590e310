#pragma once

#include "core/desktop/ScreenGrab.h"

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QWidget>
#include <functional>
#include <optional>

// The content of one overlay window: the screen as it was when the
// selection began, dimmed, with the dragged rectangle left clear and
// outlined. Reports the rectangle in desktop coordinates on release.
class SelectionOverlayView : public QWidget
{
    Q_OBJECT

public:
    explicit SelectionOverlayView(QWidget *parent = nullptr);

    // Shows `screen` under the dimming; its pixels stay shared, not copied.
    void setFrozenScreen(const ScreenImage &screen);

    std::optional<QPointF> startPoint() const { return m_startPoint; }
    std::optional<QPointF> currentPoint() const { return m_currentPoint; }

    // The chosen rectangle: desktop coordinates when the view sits in a
    // window of its own, view coordinates otherwise. Zero size for a click.
    std::function<void(QRectF)> onSelection;
    // Escape or a right click.
    std::function<void()> onAbandon;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::optional<QRectF> selectionRect() const;
    void finishSelection();
    void abandon();

    std::optional<QPointF> m_startPoint;
    std::optional<QPointF> m_currentPoint;
    ScreenImage m_screen;
    QImage m_frozen;
};
