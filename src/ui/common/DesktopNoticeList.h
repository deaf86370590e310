#pragma once

#include <QStringList>
#include <QWidget>

// What this desktop keeps Wrenlark from doing, one wrapping sentence each,
// as a bulleted list. Each line is its own accessible label.
class DesktopNoticeList : public QWidget
{
    Q_OBJECT

public:
    explicit DesktopNoticeList(const QStringList &notices, QWidget *parent = nullptr);
};
