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

protected:
    // A long paragraph shown in several blocks is copied as one.
    QMimeData *createMimeDataFromSelection() const override;
};
