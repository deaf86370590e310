#include "ui/panel/CommandPanel.h"

#include "core/desktop/PanelWindowSupport.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QWindow>

namespace {

constexpr int compositedShadowMargin = 18;

QPainterPath roundedPath(const QRectF &rect, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

} // namespace

CommandPanel::CommandPanel(PanelWindowSupport *windowSupport, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_windowSupport(windowSupport)
{
    setWindowTitle(tr("Wrenlark"));
    setObjectName(QStringLiteral("CommandPanel"));
    if (m_windowSupport && m_windowSupport->hasCompositor()) {
        m_shadowMargin = compositedShadowMargin;
        setAttribute(Qt::WA_TranslucentBackground);
    }
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    setContentsMargins(m_shadowMargin, m_shadowMargin, m_shadowMargin, m_shadowMargin);
    // The native window exists before the first show, so the desktop's panel
    // states are in place when the window manager first sees it.
    create();
    if (m_windowSupport)
        m_windowSupport->preparePanelWindow(winId());
}

void CommandPanel::setContentView(QWidget *view)
{
    m_contentView = view;
    view->setParent(this);
    view->move(m_shadowMargin, m_shadowMargin);
    view->show();
}

QRect CommandPanel::barGeometry() const
{
    return geometry().marginsRemoved(
        QMargins(m_shadowMargin, m_shadowMargin, m_shadowMargin, m_shadowMargin));
}

void CommandPanel::setBarGeometry(const QRect &frame)
{
    setGeometry(frame.marginsAdded(
        QMargins(m_shadowMargin, m_shadowMargin, m_shadowMargin, m_shadowMargin)));
}

bool CommandPanel::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::Show:
        m_exposedSinceShow = false;
        break;
    case QEvent::Expose:
    case QEvent::UpdateRequest:
        if (!m_exposedSinceShow && windowHandle() && windowHandle()->isExposed()) {
            m_exposedSinceShow = true;
            Q_EMIT exposed();
        }
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void CommandPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_contentView)
        m_contentView->setGeometry(contentsRect());
    updateShape();
}

void CommandPanel::updateShape()
{
    if (m_shadowMargin > 0)
        return;
    // Without a compositor the corners outside the rounded bar would show
    // whatever the window last held; cut them out of the window.
    const QPainterPath path = roundedPath(QRectF(rect()), cornerRadius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void CommandPanel::paintEvent(QPaintEvent *)
{
    if (m_shadowMargin == 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF bar = QRectF(contentsRect());
    // A soft shadow: concentric rounded rectangles of falling opacity,
    // a little lower than the bar as light from above would cast it.
    for (int i = m_shadowMargin; i > 0; --i) {
        const qreal spread = i;
        const int alpha =
            int(34.0 * (1.0 - qreal(i) / m_shadowMargin) * (1.0 - qreal(i) / m_shadowMargin));
        painter.setBrush(QColor(0, 0, 0, alpha));
        const QRectF ring = bar.adjusted(-spread, -spread + 4, spread, spread + 4);
        painter.drawPath(roundedPath(ring.intersected(QRectF(rect())), cornerRadius + spread));
    }
}

void CommandPanel::mousePressEvent(QMouseEvent *event)
{
    // A press that no control took: dragging from it moves the panel. A
    // plain click must not start a move (the window manager's grab would
    // take activation away).
    if (event->button() == Qt::LeftButton) {
        m_pressPosition = event->globalPosition().toPoint();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CommandPanel::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pressPosition && (event->buttons() & Qt::LeftButton) &&
        (event->globalPosition().toPoint() - *m_pressPosition).manhattanLength() >=
            QApplication::startDragDistance() &&
        windowHandle()) {
        m_pressPosition.reset();
        m_beingMoved = windowHandle()->startSystemMove();
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void CommandPanel::mouseReleaseEvent(QMouseEvent *event)
{
    m_pressPosition.reset();
    m_beingMoved = false;
    QWidget::mouseReleaseEvent(event);
}

void CommandPanel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_beingMoved = false;
    QWidget::changeEvent(event);
}
