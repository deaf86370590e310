#pragma once

#include <QLabel>

// A key of the keyboard drawn as a small raised cap with its name ("Alt").
class KeyCap : public QLabel
{
    Q_OBJECT

public:
    explicit KeyCap(const QString &keyName, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
};
