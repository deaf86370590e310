#pragma once

#include <QWidget>

// A small drawn symbol (the windows' icons), painted from the palette at the
// screen's scale so it stays crisp at 1, 1.5 and 2 and follows light and dark.
class SymbolView : public QWidget
{
    Q_OBJECT

public:
    enum class Symbol { sparkles, accessibility, checkmark };

    SymbolView(Symbol symbol, int size, QWidget *parent = nullptr);

    void setSymbol(Symbol symbol);
    // The accent colour instead of the text colour (the checkmark uses the success colour).
    void setAccented(bool accented);
    QSize sizeHint() const override { return {m_size, m_size}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void paintSparkles(class QPainter &painter, const QColor &color) const;
    void paintAccessibility(QPainter &painter, const QColor &color) const;
    void paintCheckmark(QPainter &painter, const QColor &color) const;

    Symbol m_symbol;
    int m_size;
    bool m_accented = true;
};
