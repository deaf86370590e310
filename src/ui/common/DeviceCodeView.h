#pragma once

#include <QFrame>
#include <QUrl>

class QLabel;
class QPushButton;
class UrlOpener;

// The device-code sign-in, as the user needs it: the code in large,
// selectable type, a button that copies it and one that opens the page
// where it is entered.
class DeviceCodeView : public QFrame
{
    Q_OBJECT

public:
    explicit DeviceCodeView(UrlOpener &browser, QWidget *parent = nullptr);

    void setCode(const QString &code, const QUrl &verificationPage);
    QString code() const;

    QPushButton *copyButton() const { return m_copy; }
    QPushButton *openButton() const { return m_open; }

private:
    UrlOpener &m_browser;
    QLabel *m_code;
    QPushButton *m_copy;
    QPushButton *m_open;
    QUrl m_page;
};
