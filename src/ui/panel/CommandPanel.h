#pragma once

#include <QWidget>
#include <optional>

class PanelWindowSupport;

// The command bar's top-level window: frameless, above other windows, on
// every desktop, without a taskbar entry. With a compositor it is
// translucent and draws a soft shadow around the bar; without one the window
// is the bar itself, shaped to its rounded corners.
class CommandPanel : public QWidget
{
    Q_OBJECT

public:
    static constexpr int cornerRadius = 14;

    CommandPanel(PanelWindowSupport *windowSupport, QWidget *parent = nullptr);

    // The hosted content, laid out inside the shadow margins.
    void setContentView(QWidget *view);
    QWidget *contentView() const { return m_contentView; }

    // The bar's frame on the screen (the window minus its shadow margins);
    // the controller's placement rules work on it.
    QRect barGeometry() const;
    void setBarGeometry(const QRect &frame);
    int shadowMargin() const { return m_shadowMargin; }
    // The window manager is moving the panel (dragged by its background);
    // it holds the keyboard meanwhile, so the panel loses activation.
    bool isBeingMoved() const { return m_beingMoved; }

Q_SIGNALS:
    // The window became exposed after a show (the first moment it can take
    // input focus everywhere).
    void exposed();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateShape();

    PanelWindowSupport *m_windowSupport;
    QWidget *m_contentView = nullptr;
    int m_shadowMargin = 0;
    bool m_exposedSinceShow = false;
    std::optional<QPoint> m_pressPosition;
    bool m_beingMoved = false;
};
