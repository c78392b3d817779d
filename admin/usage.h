#pragma once

// The command-line front of tallymere-admin: each command is one entry of a
// table (its arguments, its options, what it changes, an example and the
// function that does it), and every help text is made from that table, so
// that a new command is one new entry.
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

namespace Admin {

// The exit statuses, kept apart for scripts.
enum Status : int {
    Done = 0,
    Failed = 1, // refused, or the work failed
    WrongUsage = 2, // an unknown command or option, a wrong number of arguments
};

// What a command is given.
struct Context {
    QString data; // the data folder, absolute
    QStringList arguments;
    bool replace = false;
    // Every command option given, by name; a flag's value is empty.
    QMap<QString, QString> options;
    bool has(const QString &option) const { return options.contains(option); }
};

// An option some commands take (beside --data, --help and --version, which
// every command takes).
struct Option {
    QString name;
    QString value; // the name of its value; empty for a flag
    QString text;
};

struct Command {
    QString name;
    // Shown as they are; one in brackets, "[COMMAND]", may be left out.
    QStringList arguments;
    // Names of the entries of the option table this command takes.
    QStringList options;
    QString summary; // one line for the list of commands
    QString changes; // what it changes in the stores or elsewhere
    QString example; // one command line
    std::function<int(const Context &)> run;
};

const Command *find(const QList<Command> &commands, const QString &name);
const Option *find(const QList<Option> &options, const QString &name);

// "import-books FILE.csv [--replace]"
QString usage(const Command &command, const QList<Option> &options);
// Why `given` arguments do not suit the command; empty when they do.
QString argumentError(const Command &command, qsizetype given);

QString generalHelp(const QList<Command> &commands, const QList<Option> &options);
QString commandHelp(const Command &command, const QList<Option> &options);

} // namespace Admin
