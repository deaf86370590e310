#include "ui/capture/SelectionOverlayView.h"

#include "core/desktop/CaptureGeometry.h"
#include "core/support/Logging.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

QString describe(const QRectF &rect)
{
    return QStringLiteral("(%1, %2, %3, %4)")
        .arg(rect.x())
        .arg(rect.y())
        .arg(rect.width())
        .arg(rect.height());
}

} // namespace

SelectionOverlayView::SelectionOverlayView(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setCursor(Qt::CrossCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(tr("Screen region selection"));
}

void SelectionOverlayView::setFrozenScreen(const ScreenImage &screen)
{
    m_screen = screen;
    m_frozen = {};
    if (m_screen.isValid()) {
        m_frozen =
            QImage(reinterpret_cast<const uchar *>(m_screen.pixels.constData()), m_screen.width,
                   m_screen.height, m_screen.bytesPerLine, QImage::Format_ARGB32_Premultiplied);
        m_frozen.setDevicePixelRatio(m_screen.devicePixelRatio);
    }
    update();
}

std::optional<QRectF> SelectionOverlayView::selectionRect() const
{
    if (!m_startPoint || !m_currentPoint)
        return std::nullopt;
    return CaptureGeometry::normalized(*m_startPoint, *m_currentPoint);
}

void SelectionOverlayView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_frozen.isNull())
        painter.fillRect(rect(), Qt::black);
    else
        painter.drawImage(QRectF(rect()), m_frozen);
    // The dimming covers all but the selection, which shows the frozen
    // screen as it is.
    QPainterPath dimmed;
    dimmed.setFillRule(Qt::OddEvenFill);
    dimmed.addRect(QRectF(rect()));
    const std::optional<QRectF> selection = selectionRect();
    if (selection)
        dimmed.addRect(*selection);
    painter.fillPath(dimmed, QColor::fromRgbF(0, 0, 0, 0.35f));
    if (selection) {
        QPen outline(QColor::fromRgbF(1, 1, 1, 0.9f), 1.0);
        outline.setJoinStyle(Qt::MiterJoin);
        painter.setPen(outline);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(selection->adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

void SelectionOverlayView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        abandon();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    m_startPoint = event->position();
    m_currentPoint = event->position();
    update();
}

void SelectionOverlayView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_startPoint || !(event->buttons() & Qt::LeftButton))
        return;
    m_currentPoint = event->position();
    update();
}

void SelectionOverlayView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_startPoint)
        return;
    m_currentPoint = event->position();
    update();
    finishSelection();
}

void SelectionOverlayView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        abandon();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SelectionOverlayView::finishSelection()
{
    const std::optional<QRectF> viewRect = selectionRect();
    if (!viewRect)
        return;
    QWidget *host = window();
    QRectF reported = *viewRect;
    if (host != this) {
        const QRectF windowRect(mapTo(host, viewRect->topLeft()), viewRect->size());
        const QRectF screenRect(host->mapToGlobal(windowRect.topLeft()), viewRect->size());
        qCInfo(lcCapture).noquote()
            << QStringLiteral("Selection rects: view=%1 window=%2 screen=%3 "
                              "windowFrame=%4")
                   .arg(describe(*viewRect), describe(windowRect), describe(screenRect),
                        describe(QRectF(host->frameGeometry())));
        reported = screenRect;
    } else {
        qCInfo(lcCapture).noquote()
            << QStringLiteral("Selection rects: view=%1 window=none screen=%1")
                   .arg(describe(*viewRect));
    }
    if (onSelection)
        onSelection(reported);
}

void SelectionOverlayView::abandon()
{
    m_startPoint.reset();
    m_currentPoint.reset();
    update();
    if (onAbandon)
        onAbandon();
}
