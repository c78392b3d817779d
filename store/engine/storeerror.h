#pragma once

#include <QSqlError>
#include <QString>

// Every failure of the store travels as a QSqlError. The store classifies
// each once, by the engine's own code (SQLite's result code, PostgreSQL's
// SQLSTATE), and keeps the kind in the error's native code as
// "tallymere:<kind>"; the engine's text stays as the detail.
namespace StoreError {

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

// The kind of an error the store has classified; Failed otherwise.
Kind kind(const QSqlError &error);

// An error of the store's own: `sentence` for the user, `detail` the cause.
QSqlError make(Kind kind, const QString &sentence, const QString &detail = QString());

// The engine's error, classified, with a sentence naming `store` (how the
// store is named to the user: a file, or the server); an error that is
// already classified is returned as it is.
QSqlError explain(Engine engine, const QString &store, const QSqlError &engine_error);

// The engine's own words in `error`, classified or not.
QString detail(const QSqlError &error);

// Whether the disk holding `path` (a file, or a folder) has next to no room
// left, so that a write that failed there failed for want of space: the
// engines name it as a full disk (SQLite's FULL, ENOSPC) only sometimes.
bool diskFull(const QString &path);

// The error as one line: its sentence, then the engine's detail where that
// adds something. The desk's boxes and the admin tool both show it.
QString sentence(const QSqlError &error);

// A failure of the store's own (Kind::Failed): `sentence` for the user,
// `detail` the cause.
QSqlError failure(const QString &sentence, const QString &detail = QString());

// A path as messages show it.
QString native(const QString &path);

} // namespace StoreError
