#pragma once

#include <QMetaType>
#include <QSqlError>
#include <QString>

// A failure of the store, as the screens and the admin tool read it: its
// kind, the sentence for the user, and the engine's own error where the
// engine made it. The store classifies an engine's error once, by the
// engine's own code (SQLite's result code, PostgreSQL's SQLSTATE); until
// then it is of kind Failed with the engine's words as its sentence.
class StoreError
{
public:
    enum class Kind {
        None,
        Busy,          // another program or desk holds the store; try again
        ReadOnly,      // the store cannot be written
        Damaged,       // not a database, or a damaged one
        CannotOpen,    // the file or its folder cannot be opened
        Missing,       // the store, a table or a field is not there
        TooLong,       // a text over the store's limit
        Refused,       // the store's rules refused a value
        Conflict,      // the row was changed or removed at another desk
        Unreachable,   // the server cannot be reached
        Newer,         // made by a newer program
        Full,          // the disk holding the store is full
        Failed,        // anything else
    };

    // Which engine made an error the store has not classified yet.
    enum class Engine { Sqlite, Server };

    // No error.
    StoreError() = default;
    // The engine's error as it came, not classified yet (see explain).
    StoreError(const QSqlError &engine);

    // An error of the store's own: `sentence` for the user, `detail` the cause.
    static StoreError make(Kind kind, const QString &sentence, const QString &detail = QString());
    // A failure of the store's own (Kind::Failed).
    static StoreError failure(const QString &sentence, const QString &detail = QString());
    // The engine's error, classified, with a sentence naming `store` (how
    // the store is named to the user: a file, or the server); an error
    // that is already classified is returned as it is.
    static StoreError explain(Engine engine, const QString &store, const StoreError &error);

    bool isValid() const { return m_kind != Kind::None; }
    Kind kind() const { return m_kind; }
    // What the user is told, and the cause in the engine's (or the
    // store's) own words.
    QString sentence() const { return m_sentence; }
    QString detail() const;
    // The error as one line: the sentence, then the detail in brackets
    // where it adds something. The desk's boxes and the admin tool both
    // show it.
    QString text() const;
    // The engine's own error; invalid for an error of the store's own.
    QSqlError engineError() const { return m_engine; }

    // Whether the disk holding `path` (a file, or a folder) has next to no
    // room left, so that a write that failed there failed for want of
    // space: the engines name it as a full disk (SQLite's FULL, ENOSPC)
    // only sometimes.
    static bool diskFull(const QString &path);

private:
    StoreError(Kind kind, const QString &sentence, const QString &detail, const QSqlError &engine, bool classified);

    Kind m_kind = Kind::None;
    QString m_sentence;
    QString m_detail;
    QSqlError m_engine;
    bool m_classified = false;
};

Q_DECLARE_METATYPE(StoreError)

namespace Paths {

// A path as messages show it.
QString native(const QString &path);

} // namespace Paths
