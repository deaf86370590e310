#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

// A saved command: typing the shorthand `command` sends `instruction` instead.
struct UserCommand
{
    QUuid id;
    QString command;
    QString instruction;

    friend bool operator==(const UserCommand &, const UserCommand &) = default;

    // "eng" → "translate to English" and "gram" → "fix grammar", each with a
    // fresh identifier.
    static QList<UserCommand> defaultCommands();

    // A JSON array of {"id", "command", "instruction"}, the id as an upper-case
    // UUID string.
    static QByteArray encodeList(const QList<UserCommand> &commands);
    // Nothing unless the bytes are a JSON array whose every element is an
    // object with all three members as strings and a valid UUID as id.
    static std::optional<QList<UserCommand>> decodeList(const QByteArray &json);
};
