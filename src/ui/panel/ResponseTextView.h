#pragma once

#include <QTextBrowser>

// The rendered reply: selectable white text that scrolls without scroll
// bars. It never loads a resource and never follows a link.
class ResponseTextView : public QTextBrowser
{
    Q_OBJECT

public:
    explicit ResponseTextView(QWidget *parent = nullptr);

    QVariant loadResource(int type, const QUrl &name) override;
};
