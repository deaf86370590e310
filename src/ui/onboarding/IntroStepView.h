#pragma once

#include <QWidget>

// The first setup step: what Wrenlark does and the gestures that use it.
class IntroStepView : public QWidget
{
    Q_OBJECT

public:
    explicit IntroStepView(QWidget *parent = nullptr);

private:
    // One bullet of plain text, or of words and key caps ("[Alt]") laid out
    // in a wrapping line.
    QWidget *bullet(const QStringList &parts);
};
