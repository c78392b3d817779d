#include "admin/usage.h"

#include <algorithm>

namespace Admin {

namespace {

const QString Program = QStringLiteral("tallymere-admin");

// The options every command takes, as the help shows them.
const QList<std::pair<QString, QString>> &commonOptions()
{
    static const QList<std::pair<QString, QString>> list{
        {QStringLiteral("--data DIR"), QStringLiteral("Work on the stores in DIR instead of the desk's own.")},
        {QStringLiteral("-h, --help"), QStringLiteral("Show this help (after a command: that command's).")},
        {QStringLiteral("-v, --version"), QStringLiteral("Show the program's version.")},
    };
    return list;
}

QString optionUsage(const Option &option)
{
    return option.value.isEmpty() ? QStringLiteral("--") + option.name
                                  : QStringLiteral("--%1 %2").arg(option.name, option.value);
}

// Two columns, the first as wide as its longest entry.
QString columns(const QList<std::pair<QString, QString>> &rows)
{
    qsizetype width = 0;
    for (const auto &row : rows)
        width = std::max(width, row.first.size());
    QString text;
    for (const auto &[left, right] : rows)
        text += QStringLiteral("  %1  %2\n").arg(left.leftJustified(width), right);
    return text;
}

// `text` in lines of at most 78 characters, each indented by two spaces.
QString wrapped(const QString &text)
{
    QString lines, line;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > 76) {
            lines += QStringLiteral("  ") + line + QLatin1Char('\n');
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return lines + QStringLiteral("  ") + line + QLatin1Char('\n');
}

QString exitStatuses()
{
    return QStringLiteral("Exit status:\n")
           + columns({{QString::number(Done), QStringLiteral("done")},
                      {QString::number(Failed), QStringLiteral("refused or failed (for check: a store is not sound)")},
                      {QString::number(WrongUsage),
                       QStringLiteral("wrong usage: an unknown command or option, a missing or extra argument")}});
}

} // namespace

const Command *find(const QList<Command> &commands, const QString &name)
{
    const auto it = std::find_if(commands.cbegin(), commands.cend(), [&](const Command &c) { return c.name == name; });
    return it == commands.cend() ? nullptr : &*it;
}

const Option *find(const QList<Option> &options, const QString &name)
{
    const auto it = std::find_if(options.cbegin(), options.cend(), [&](const Option &o) { return o.name == name; });
    return it == options.cend() ? nullptr : &*it;
}

QString usage(const Command &command, const QList<Option> &options)
{
    QStringList words = QStringList{command.name} + command.arguments;
    for (const QString &name : command.options)
        if (const Option *option = find(options, name))
            words << QLatin1Char('[') + optionUsage(*option) + QLatin1Char(']');
    return words.join(QLatin1Char(' '));
}

QString argumentError(const Command &command, qsizetype given)
{
    const auto optional = std::count_if(command.arguments.cbegin(), command.arguments.cend(),
                                        [](const QString &a) { return a.startsWith(QLatin1Char('[')); });
    if (given >= command.arguments.size() - optional && given <= command.arguments.size())
        return {};
    return QStringLiteral("%1 takes %2.")
        .arg(command.name, command.arguments.isEmpty() ? QStringLiteral("no arguments")
                                                       : command.arguments.join(QLatin1Char(' ')));
}

QString generalHelp(const QList<Command> &commands, const QList<Option> &options)
{
    QString text = QStringLiteral("Usage: %1 [--data DIR] COMMAND [ARGUMENT...] [OPTION...]\n"
                                  "       %1 help COMMAND\n"
                                  "Installs and moves the stores of Tallymere, the library lending desk.\n"
                                  "Works on the desk's own data folder unless given --data.\n\nCommands:\n")
                       .arg(Program);
    for (const Command &command : commands)
        text += QStringLiteral("  %1\n      %2\n").arg(usage(command, options), command.summary);
    QList<std::pair<QString, QString>> rows = commonOptions();
    for (const Option &option : options)
        rows << std::pair(optionUsage(option), option.text);
    text += QStringLiteral("\nOptions:\n") + columns(rows) + QLatin1Char('\n') + exitStatuses();
    text += QStringLiteral("\n\"%1 help COMMAND\" (or \"%1 COMMAND --help\")\n"
                           "shows a command's options, what it changes and an example.\n")
                .arg(Program);
    return text;
}

QString commandHelp(const Command &command, const QList<Option> &options)
{
    QString text = QStringLiteral("Usage: %1 [--data DIR] %2\n%3\n")
                       .arg(Program, usage(command, options), command.summary.left(1).toUpper() + command.summary.mid(1)
                                                                   + QLatin1Char('.'));
    QList<std::pair<QString, QString>> rows;
    for (const QString &name : command.options)
        if (const Option *option = find(options, name))
            rows << std::pair(optionUsage(*option), option->text);
    rows << commonOptions().first();
    text += QStringLiteral("\nOptions:\n") + columns(rows);
    text += QStringLiteral("\nWhat it changes:\n") + wrapped(command.changes);
    text += QStringLiteral("\nExample:\n  %1\n\n").arg(command.example);
    return text + exitStatuses();
}

} // namespace Admin
