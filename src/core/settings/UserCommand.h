#pragma once

#include "core/desktop/GlobalShortcutService.h"

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
    // Run from outside the bar (`wrenlark run`), its reply is written over
    // the selection as soon as it is complete.
    bool replaceAtOnce = false;
    // The global shortcut that runs it ("Ctrl+Alt+E", portable text); empty
    // when it has none.
    QString shortcut = {};

    friend bool operator==(const UserCommand &, const UserCommand &) = default;

    // What the global shortcut service registers of each command.
    static QList<GlobalShortcutService::CommandShortcut>
    shortcutsOf(const QList<UserCommand> &commands);

    // "eng" → "translate to English" and "gram" → "fix grammar", each with a
    // fresh identifier.
    static QList<UserCommand> defaultCommands();

    // A JSON array of {"id", "command", "instruction"}, the id as an upper-case
    // UUID string, with "replaceAtOnce": true and "shortcut" only where they
    // are set (so lists without them read as before, also in earlier
    // versions).
    static QByteArray encodeList(const QList<UserCommand> &commands);
    // Nothing unless the bytes are a JSON array whose every element is an
    // object with all three members as strings and a valid UUID as id.
    static std::optional<QList<UserCommand>> decodeList(const QByteArray &json);
};
