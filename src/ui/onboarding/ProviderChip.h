#pragma once

#include <QAbstractButton>

// A provider's name in a capsule, one of a row of choices: tinted with the
// accent colour when selected.
class ProviderChip : public QAbstractButton
{
    Q_OBJECT

public:
    ProviderChip(const QString &providerID, const QString &displayName, QWidget *parent = nullptr);

    QString providerID() const { return m_providerID; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_providerID;
};
