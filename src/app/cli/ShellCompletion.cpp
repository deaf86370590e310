#include "cli/ShellCompletion.h"

#include "cli/CommandLine.h"
#include "core/providers/AIProviderRegistry.h"

#include <QRegularExpression>
#include <QStringList>

namespace ShellCompletion {

namespace {

struct Option
{
    QString name;       // "--provider"
    bool takesValue;    // "--provider ID"
    bool providerValue; // the value is a provider identifier
};

struct CommandWords
{
    QString name;
    QString summary;
    QList<Option> options;
    // Words for the first and second argument after the command (`key set
    // openai`), empty when the argument is free.
    QStringList firstArgument;
    QStringList secondArgument;
};

QStringList providerIDs()
{
    QStringList ids;
    for (const auto &provider : AIProviderRegistry::shared().providers())
        ids.append(provider->id());
    return ids;
}

QStringList commandNames()
{
    QStringList names;
    for (const CliCommand &command : CommandLine::commands())
        names.append(command.name);
    return names;
}

// Options as a usage line names them: "[--model NAME] [--replace]".
QList<Option> optionsOf(const CliCommand &command)
{
    static const QRegularExpression pattern(QStringLiteral("(--[a-z][a-z-]*)( [A-Z_]+)?"));
    QList<Option> options;
    auto matches = pattern.globalMatch(command.arguments);
    while (matches.hasNext()) {
        const auto match = matches.next();
        const QString value = match.captured(2).trimmed();
        options.append({match.captured(1), !value.isEmpty(),
                        value == QStringLiteral("ID") || value == QStringLiteral("PROVIDER_ID")});
    }
    options.append({QStringLiteral("--help"), false, false});
    return options;
}

// Positional words a usage line spells out, over its alternatives:
// "set PROVIDER_ID | delete PROVIDER_ID" gives {set, delete} then the
// provider identifiers.
void addPositionalWords(const CliCommand &command, CommandWords &words)
{
    QStringList *slots[] = {&words.firstArgument, &words.secondArgument};
    for (const QString &alternative : command.arguments.split(u'|')) {
        int slot = 0;
        int depth = 0; // inside [optional] parts
        for (const QString &token : alternative.split(u' ', Qt::SkipEmptyParts)) {
            const bool optional = depth > 0 || token.startsWith(u'[');
            depth += int(token.count(u'[')) - int(token.count(u']'));
            if (optional || token.startsWith(u'-'))
                continue;
            if (slot >= 2)
                break;
            if (token == QStringLiteral("PROVIDER_ID"))
                *slots[slot] += providerIDs();
            else if (token == token.toLower())
                slots[slot]->append(token);
            ++slot;
        }
    }
    for (QStringList *slot : slots)
        slot->removeDuplicates();
}

QList<CommandWords> commandWords()
{
    QList<CommandWords> all;
    for (const CliCommand &command : CommandLine::commands()) {
        CommandWords words{command.name, command.summary, optionsOf(command), {}, {}};
        addPositionalWords(command, words);
        all.append(words);
    }
    all.append(
        {QStringLiteral("help"), QStringLiteral("Show a command's help."), {}, commandNames(), {}});
    return all;
}

QString singleQuoted(QString text)
{
    return u'\'' + text.replace(u'\'', QStringLiteral("'\\''")) + u'\'';
}

QStringList topLevelWords(const QList<CommandWords> &commands)
{
    QStringList words;
    for (const CommandWords &command : commands)
        words.append(command.name);
    return words + QStringList{QStringLiteral("--help"), QStringLiteral("--version")};
}

QStringList optionNames(const CommandWords &command)
{
    QStringList names;
    for (const Option &option : command.options)
        names.append(option.name);
    return names;
}

QString bashScript()
{
    const QList<CommandWords> commands = commandWords();
    QString cases;
    for (const CommandWords &command : commands) {
        cases += QStringLiteral("        %1)\n").arg(command.name);
        cases += QStringLiteral("            case $cword in\n");
        if (!command.firstArgument.isEmpty())
            cases += QStringLiteral("                2) words_=%1 ;;\n")
                         .arg(singleQuoted(command.firstArgument.join(u' ')));
        if (!command.secondArgument.isEmpty())
            cases += QStringLiteral("                3) words_=%1 ;;\n")
                         .arg(singleQuoted(command.secondArgument.join(u' ')));
        cases += QStringLiteral("            esac\n");
        cases += QStringLiteral("            [[ $cur == -* ]] && words_=%1\n")
                     .arg(singleQuoted(optionNames(command).join(u' ')));
        cases += QStringLiteral("            ;;\n");
    }
    return QStringLiteral(
               "# bash completion for wrenlark                             -*- shell-script -*-\n"
               "_wrenlark()\n"
               "{\n"
               "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
               "    local cword=$COMP_CWORD words_=''\n"
               "    if ((cword == 1)); then\n"
               "        words_=%1\n"
               "    elif [[ $prev == --provider ]]; then\n"
               "        words_=%2\n"
               "    elif [[ $prev == --model ]]; then\n"
               "        return\n"
               "    else\n"
               "        case ${COMP_WORDS[1]} in\n"
               "%3"
               "        esac\n"
               "    fi\n"
               "    COMPREPLY=($(compgen -W \"$words_\" -- \"$cur\"))\n"
               "}\n"
               "complete -F _wrenlark wrenlark\n")
        .arg(singleQuoted(topLevelWords(commands).join(u' ')),
             singleQuoted(providerIDs().join(u' ')), cases);
}

QString zshWords(const QStringList &words)
{
    QStringList quoted;
    for (const QString &word : words)
        quoted.append(singleQuoted(word));
    return quoted.join(u' ');
}

QString zshScript()
{
    const QList<CommandWords> commands = commandWords();
    QStringList described;
    for (const CommandWords &command : commands)
        described.append(singleQuoted(command.name + u':' + command.summary));
    QString cases;
    for (const CommandWords &command : commands) {
        cases += QStringLiteral("        %1)\n").arg(command.name);
        cases += QStringLiteral("            if [[ $PREFIX == -* ]]; then compadd -- %1\n")
                     .arg(zshWords(optionNames(command)));
        if (!command.firstArgument.isEmpty())
            cases += QStringLiteral("            elif (( CURRENT == 3 )); then compadd -- %1\n")
                         .arg(zshWords(command.firstArgument));
        if (!command.secondArgument.isEmpty())
            cases += QStringLiteral("            elif (( CURRENT == 4 )); then compadd -- %1\n")
                         .arg(zshWords(command.secondArgument));
        cases += QStringLiteral("            fi\n            ;;\n");
    }
    return QStringLiteral("#compdef wrenlark\n"
                          "_wrenlark() {\n"
                          "    local -a commands\n"
                          "    commands=(%1)\n"
                          "    if (( CURRENT == 2 )); then\n"
                          "        _describe command commands\n"
                          "        compadd -- --help --version\n"
                          "        return\n"
                          "    fi\n"
                          "    case ${words[CURRENT-1]} in\n"
                          "        --provider) compadd -- %2; return ;;\n"
                          "        --model) return ;;\n"
                          "    esac\n"
                          "    case ${words[2]} in\n"
                          "%3"
                          "    esac\n"
                          "}\n"
                          "_wrenlark \"$@\"\n")
        .arg(described.join(u' '), zshWords(providerIDs()), cases);
}

QString fishScript()
{
    QString script = QStringLiteral("# fish completion for wrenlark\n"
                                    "complete -c wrenlark -f\n"
                                    "complete -c wrenlark -n __fish_use_subcommand -l help\n"
                                    "complete -c wrenlark -n __fish_use_subcommand -l version\n");
    const QString providers = singleQuoted(providerIDs().join(u' '));
    for (const CommandWords &command : commandWords()) {
        const QString seen = QStringLiteral("'__fish_seen_subcommand_from %1'").arg(command.name);
        script += QStringLiteral("complete -c wrenlark -n __fish_use_subcommand -a %1 -d %2\n")
                      .arg(command.name, singleQuoted(command.summary));
        for (const Option &option : command.options) {
            QString line =
                QStringLiteral("complete -c wrenlark -n %1 -l %2").arg(seen, option.name.mid(2));
            if (option.providerValue)
                line += QStringLiteral(" -x -a ") + providers;
            else if (option.takesValue)
                line += QStringLiteral(" -x");
            script += line + u'\n';
        }
        const QStringList *positions[] = {&command.firstArgument, &command.secondArgument};
        for (int index = 0; index < 2; ++index) {
            if (positions[index]->isEmpty())
                continue;
            script += QStringLiteral("complete -c wrenlark -n '__fish_seen_subcommand_from %1; "
                                     "and __fish_is_nth_token %2' -a %3\n")
                          .arg(command.name)
                          .arg(index + 2)
                          .arg(singleQuoted(positions[index]->join(u' ')));
        }
    }
    return script;
}

} // namespace

std::optional<QString> script(const QString &shell)
{
    if (shell == QStringLiteral("bash"))
        return bashScript();
    if (shell == QStringLiteral("zsh"))
        return zshScript();
    if (shell == QStringLiteral("fish"))
        return fishScript();
    return std::nullopt;
}

} // namespace ShellCompletion
