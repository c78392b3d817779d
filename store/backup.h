#pragma once

#include "store/schema.h"

#include <QDateTime>
#include <QList>
#include <QSqlError>
#include <QString>
#include <QStringList>

#include <functional>

// Copies of the stores, made while the desk program may be writing, put
// back while none is running; and the engine's own checks of each store.
namespace Backup {

// Called after each step of a copy: `done` pages of `total`.
using Progress = std::function<void(qint64 done, qint64 total)>;

// How many pages one step of a copy takes.
inline constexpr int PagesPerStep = 1024;

// Copies the store at `source` into the new file `target` (owner-only)
// through SQLite's online backup. The copy is the store as it stood when
// the copy began, every committed row and nothing half-written, even while
// other programs write; their writes are neither blocked nor restart it.
// Rowids are copied as they are. On failure no `target` is left.
QSqlError copyStore(const QString &source, const QString &target, const Progress &progress = {},
                    int pagesPerStep = PagesPerStep);

// The name of a backup made at `when`.
QString folderName(const QDateTime &when);

// Makes a new owner-only folder inside `parent` for a backup made at
// `when`, named by folderName (a number added if that name is taken).
QSqlError makeFolder(const QString &parent, const QDateTime &when, QString *made);

// Copies both stores of `dataFolder` into a new folder inside `parent`,
// named for `when` (a number added if that name is taken); `*made` is its
// path. Either both stores are copied or no folder is left.
QSqlError backup(const QString &dataFolder, const QString &parent, QString *made, const Progress &progress = {},
                 const QDateTime &when = QDateTime::currentDateTime());

// Puts the stores of the backup `backupFolder` in place in `dataFolder`,
// refused while a desk program holds its lock there (see DeskLock). Each
// store it replaces is kept beside it under a name with `when` in it and
// listed in `*kept`. A backup made by an older program is upgraded; one
// made by a newer program, or one that fails its checks, is refused before
// anything is touched.
QSqlError restore(const QString &dataFolder, const QString &backupFolder, QStringList *kept,
                  const QDateTime &when = QDateTime::currentDateTime());

// Whether `backupFolder` holds both stores, whole, and none made by a newer
// program: the checks a restore makes before it touches anything.
QSqlError checkBackup(const QString &backupFolder);

struct Finding {
    Schema::File file;
    bool ok = false;
    // What was found: "ok" or the faults, and the schema version.
    QString text;
};

// The engine's integrity check of each store of `dataFolder` (and of the
// catalogue's search index), with each store's schema version beside the
// one this program knows. A missing, damaged or newer store is a fault.
QList<Finding> check(const QString &dataFolder);

} // namespace Backup
