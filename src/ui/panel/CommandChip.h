#pragma once

#include <QWidget>

// Drawn behind the input while its text is a saved command's shorthand: a
// chip around the shorthand, an arrow and the instruction it stands for.
class CommandChip : public QWidget
{
    Q_OBJECT

public:
    explicit CommandChip(QWidget *parent = nullptr);

    void setCommand(const QString &command, const QString &instruction, int textInset);
    QString command() const { return m_command; }
    QString instruction() const { return m_instruction; }

    // Width of the chip around `command`.
    static int commandBadgeWidth(const QString &command);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_command;
    QString m_instruction;
    int m_textInset = 0;
};
