#include "core/settings/UserCommand.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

std::optional<UserCommand> decodeCommand(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue id = object.value(QLatin1String("id"));
    const QJsonValue command = object.value(QLatin1String("command"));
    const QJsonValue instruction = object.value(QLatin1String("instruction"));
    if (!id.isString() || !command.isString() || !instruction.isString())
        return std::nullopt;
    const QUuid uuid = QUuid::fromString(id.toString());
    if (uuid.isNull())
        return std::nullopt;
    return UserCommand{uuid, command.toString(), instruction.toString(),
                       object.value(QLatin1String("replaceAtOnce")).toBool(false),
                       object.value(QLatin1String("shortcut")).toString()};
}

} // namespace

QList<UserCommand> UserCommand::defaultCommands()
{
    return {
        {QUuid::createUuid(),
         QStringLiteral("eng"),
         QStringLiteral("translate to English"),
         false,
         {}},
        {QUuid::createUuid(), QStringLiteral("gram"), QStringLiteral("fix grammar"), false, {}},
    };
}

QList<GlobalShortcutService::CommandShortcut>
UserCommand::shortcutsOf(const QList<UserCommand> &commands)
{
    QList<GlobalShortcutService::CommandShortcut> shortcuts;
    for (const UserCommand &command : commands)
        shortcuts.append({command.id, command.command, command.shortcut});
    return shortcuts;
}

QByteArray UserCommand::encodeList(const QList<UserCommand> &commands)
{
    QJsonArray array;
    for (const UserCommand &command : commands) {
        QJsonObject object{
            {QLatin1String("id"), command.id.toString(QUuid::WithoutBraces).toUpper()},
            {QLatin1String("command"), command.command},
            {QLatin1String("instruction"), command.instruction},
        };
        if (command.replaceAtOnce)
            object.insert(QLatin1String("replaceAtOnce"), true);
        if (!command.shortcut.isEmpty())
            object.insert(QLatin1String("shortcut"), command.shortcut);
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<UserCommand>> UserCommand::decodeList(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<UserCommand> commands;
    for (const QJsonValue &value : document.array()) {
        auto command = decodeCommand(value);
        if (!command)
            return std::nullopt;
        commands.append(*command);
    }
    return commands;
}
